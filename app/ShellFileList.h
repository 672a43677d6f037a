// The file list the shell's file operations take: every name ends with a
// zero and the list ends with a second zero. Portable: no <windows.h>.
#ifndef VELTMOR_APP_SHELLFILELIST_H
#define VELTMOR_APP_SHELLFILELIST_H

#include <cstring>

#include "scan/PathText.h"

// Room for the longest path (259 characters) and both terminators. A list
// of only 260 would leave no room for the second zero after such a path,
// and the shell would read past the buffer looking for it.
constexpr std::size_t kShellFileListBuffer = scan::kMaxPathLength + 2;

// A list of one file. An empty path, or one longer than 259 characters, is
// refused (false, empty list) rather than cut: a cut path names another file.
// So is a path with a wildcard, which names no one file.
inline bool MakeShellFileList(const char* path, char (&list)[kShellFileListBuffer])
{
    std::memset(list, 0, sizeof list);
    const std::size_t length = strnlen(path, scan::kPathBuffer);
    if (length == 0 || length > scan::kMaxPathLength || scan::HasWildcard(path))
        return false;
    std::memcpy(list, path, length);
    return true;
}

#endif
