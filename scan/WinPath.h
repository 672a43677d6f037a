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

// The parts of a backslash-separated path; false when one is empty, "." or
// "..", or holds ':' (a stream), '?' or '*': such a path would name another
// file once joined or prefixed, or none.
bool SplitPathParts(const std::string& path, std::vector<std::string>& parts);

// parts[from..] joined with backslashes.
std::string JoinPathParts(const std::vector<std::string>& parts, std::size_t from);

// A full path as the system gives it, "\\?\" forms included, turned into a
// plain full path without a final backslash (a root keeps its own). False
// for anything else (relative paths, devices, empty, "." or ".." parts).
bool PlainFullPath(const std::string& full, std::string& plain);

// True when path is folder itself or lies below it (ASCII case ignored).
bool IsWithin(const std::string& path, const std::string& folder);

// The folder part of a plain full path ("" for a root).
std::string ParentOf(const std::string& path);

// A path in double quotes, as every message names one.
std::string Quoted(const std::string& path);

}  // namespace scan

#endif
