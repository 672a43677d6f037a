// Reads one field the shell's reader may not give: the target stored in a
// shell link's environment-variable block ("%LOCALAPPDATA%\..."), which a
// scan of another user's profile must expand with that user's values.
// Portable; call it only on a file CheckLinkStructure accepted.
#ifndef VELTMOR_SCAN_LINKEXTRADATA_H
#define VELTMOR_SCAN_LINKEXTRADATA_H

#include <string>

#include "LinkStructure.h"

namespace scan {

// The block's wide target as UTF-16 code units; false when the file has no
// such block (or its flag is not set).
bool StoredEnvironmentTarget(ByteSource& source, std::u16string& target);

}  // namespace scan

#endif
