// Where a quarantined shortcut lives inside the quarantine folder, and back.
// The folder keeps each file under its whole original path, so the layout is
// the record a restore works from:
//   C:\Users\Ann\Old Tool.lnk      <->  DIR\C\Users\Ann\Old Tool.lnk
//   \\server\share\Apps\Tool.lnk   <->  DIR\UNC\server\share\Apps\Tool.lnk
// Paths here are UTF-8 (a backslash byte is always a backslash) and plain
// full paths: "X:\..." or "\\server\share\...", no "\\?\" prefix.
#ifndef VELTMOR_CLI_QUARANTINELAYOUT_H
#define VELTMOR_CLI_QUARANTINELAYOUT_H

#include <string>

#include "scan/WinPath.h"

namespace cli {

// Path text lives in scan/WinPath.h.
using scan::IsWithin;
using scan::ParentOf;
using scan::PlainFullPath;

// original: a plain full path of a file. Its place relative to the
// quarantine folder; false when it has none (a root, a bad path).
bool QuarantinePlace(const std::string& original, std::string& relative);

// The inverse: the original path of a file found at relative (below the
// quarantine folder). False when relative is not a place QuarantinePlace gives.
bool OriginalPath(const std::string& relative, std::string& original);

// The "\\?\" form of a plain full path, for the wide calls that must reach
// past 260 characters.
std::string LongForm(const std::string& plain);

// True when the last name of path is one of the temporary files a whole-file
// write makes beside its file ("manifest.json.1a2-3b4c-5-0.tmp"): a killed
// run's are removed by the next.
bool IsTemporaryName(const std::string& path);

}  // namespace cli

#endif
