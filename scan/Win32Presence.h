// The verdict of a failed presence test, from the system's error. Windows
// only.
#ifndef VELTMOR_SCAN_WIN32PRESENCE_H
#define VELTMOR_SCAN_WIN32PRESENCE_H

#include <windows.h>

#include <string>

#include "ScanPlatform.h"

namespace scan {

// Missing only when the system said the file, or a folder of its path, is
// not there; any other error (access denied, sharing, a network or device
// error, a name the call cannot take) leaves the target Unverified.
Presence PresenceOfError(DWORD error);

// Asks for path's attributes; an existing file or folder is Present.
Presence AttributesPresence(const std::wstring& path);

}  // namespace scan

#endif
