// Bounded ANSI path text. Every path buffer in Veltmor holds 260 characters:
// at most 259 characters and the terminator (the platform's MAX_PATH).
#ifndef VELTMOR_SCAN_PATHTEXT_H
#define VELTMOR_SCAN_PATHTEXT_H

#include <cstddef>

namespace scan {

constexpr std::size_t kPathBuffer = 260;
constexpr std::size_t kMaxPathLength = kPathBuffer - 1;

// Writes first + second into dst (kPathBuffer characters) when the whole
// result fits; otherwise leaves dst empty and returns false. Paths are never
// truncated: a truncated path names a different file.
bool JoinPath(char* dst, const char* first, const char* second);

// True when a backslash can still be appended to path inside a kPathBuffer
// buffer (or none is needed).
bool RoomForBackslash(const char* path);

}  // namespace scan

#endif
