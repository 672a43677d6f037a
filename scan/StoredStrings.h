// The string data a shortcut keeps beside its target: the relative path and
// the working folder. A link loaded from memory does not know the folder it
// lies in, so the relative path the shell would resolve against that folder
// is read here and resolved by the caller. Portable.
#ifndef VELTMOR_SCAN_STOREDSTRINGS_H
#define VELTMOR_SCAN_STOREDSTRINGS_H

#include <string>

#include "LinkStructure.h"

namespace scan {

struct StoredStrings {
    std::string relativePath;  // UTF-8; empty: none stored
    std::string workingDir;
};

// False (strings left empty) when the file fails the structure check, or a
// field it announces is stored in the code page and is not ASCII: no one
// here can say which characters it means.
bool ReadStoredStrings(ByteSource& source, StoredStrings& strings);

// folder ("C:\\Links", no trailing backslash needed) joined with a relative
// path (".\\app.exe", "..\\Tools\\app.exe", "app.exe") as the system makes a
// full path of it: "." parts dropped, ".." takes the part before it (never
// the root), '/' read as '\\'. Empty when relative is empty, is itself
// rooted ("\\x", "C:x", "C:\\x": not relative to the folder), or folder is
// not a full path (a drive or a "\\\\server\\share").
std::string JoinRelative(const std::string& folder, const std::string& relative);

}  // namespace scan

#endif
