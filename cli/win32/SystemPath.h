// Paths as the wide calls take them. Windows only.
#ifndef VELTMOR_CLI_WIN32_SYSTEMPATH_H
#define VELTMOR_CLI_WIN32_SYSTEMPATH_H

#include <string>

namespace cli {

// True for "X:\..." or "\\server\share\..." with no '/', no "." or ".."
// part and no empty part: a path the system takes exactly as spelled.
bool IsExactFullPath(const std::wstring& path);

// path itself when it is exact and full; otherwise the system's full path
// of it (GetFullPathNameW), which also drops a trailing dot or space.
std::wstring FullPath(const std::wstring& path);

// The form of a UTF-8 path the wide calls take: "\\?\" before its full
// path, so that it is taken exactly as spelled and may pass 260 characters.
std::wstring SystemPath(const std::string& path);

}  // namespace cli

#endif
