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

// The verdict of a test of path that failed with error: as PresenceOfError,
// but a stored name that no file can have (see AttributesPresence) is
// Missing.
Presence PresenceOfFailure(const std::wstring& path, DWORD error, bool storedName);

// Asks for path's attributes; an existing file or folder is Present. A
// reparse point (a symbolic link, a junction) is opened, following it: its
// destination decides. storedName: path is the shortcut's own name for its
// target, converted by nothing of ours, so a refusal of the name for a
// character no name may hold (NameCannotExist) proves the target missing;
// otherwise such a refusal may be our conversion's doing and proves nothing.
Presence AttributesPresence(const std::wstring& path, bool storedName = false);

}  // namespace scan

#endif
