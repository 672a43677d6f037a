// Windows path text shared by the scanner's commands and the fleet page.
// Paths are UTF-8 (a backslash byte is always a backslash) and plain full
// paths: "X:\..." or "\\server\share\...", no "\\?\" prefix.
#ifndef VELTMOR_SCAN_WINPATH_H
#define VELTMOR_SCAN_WINPATH_H

#include <string>
#include <vector>

namespace scan {

bool IsAsciiLetter(char c);
char AsciiUpperChar(char c);
char AsciiLowerChar(char c);
// a and b alike but for ASCII case.
bool SameAsciiText(const std::string& a, const std::string& b);
// True when text holds prefix at offset at, ASCII case ignored.
bool HasAsciiTextAt(const std::string& text, std::size_t at, const char* prefix);

// "X:\..." (a drive letter, a colon and a backslash).
bool IsDriveRooted(const std::string& path);

// The parts of a backslash-separated path; false when one is empty, "." or
// "..", or holds ':' (a stream), '?' or '*': such a path would name another
// file once joined or prefixed, or none.
bool SplitPathParts(const std::string& path, std::vector<std::string>& parts);

// parts[from..to) joined with backslashes.
std::string JoinPathParts(const std::vector<std::string>& parts, std::size_t from,
                          std::size_t to = std::string::npos);

// A full path as the system gives it, "\\?\" forms included, turned into a
// plain full path without a final backslash (a root keeps its own). False
// for anything else (relative paths, devices, empty, "." or ".." parts).
bool PlainFullPath(const std::string& full, std::string& plain);

// True when path is folder itself or lies below it (ASCII case ignored).
bool IsWithin(const std::string& path, const std::string& folder);

// The folder part of a plain full path ("" for a root).
std::string ParentOf(const std::string& path);

// Path text as written (a recorded or found path may hold anything):
// the text after the last backslash (all of it without one) ...
std::string FileNameOf(const std::string& path);
// ... and the text before it ("" without one). ParentOf is for plain paths.
std::string FolderTextOf(const std::string& path);
// path without its final backslashes; a drive root ("C:\") keeps its own.
std::string WithoutTrailingBackslashes(std::string path);
// rest below folder, with one backslash between them.
std::string JoinedPath(const std::string& folder, const std::string& rest);

// A full path's root ("C:" or "\\server\share") and the names below it;
// false for a path that is not a full one. Empty names (doubled
// backslashes) are left out, or kept where text as written is compared.
bool SplitFullPath(const std::string& path, std::string& root, std::vector<std::string>& names,
                   bool keepEmptyNames = false);

// A path in double quotes, as every message names one.
std::string Quoted(const std::string& path);

}  // namespace scan

#endif
