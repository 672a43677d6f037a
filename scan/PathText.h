// Bounded ANSI path text. Every path buffer in Veltmor holds 260 characters:
// at most 259 characters and the terminator (the platform's MAX_PATH).
#ifndef VELTMOR_SCAN_PATHTEXT_H
#define VELTMOR_SCAN_PATHTEXT_H

#include <cstddef>
#include <string>

namespace scan {

constexpr std::size_t kPathBuffer = 260;
constexpr std::size_t kMaxPathLength = kPathBuffer - 1;

// The system code page as the path tests need it. In the double-byte code
// pages (932, 936, 949, 950) the second byte of a character can be 0x5C,
// the backslash, so a path is read character by character, never by byte.
class CodePage {
public:
    virtual ~CodePage() = default;
    // True when c starts a two-byte character.
    virtual bool IsLeadByte(unsigned char c) const = 0;
};

// Writes first + second into dst (kPathBuffer characters) when the whole
// result fits; otherwise leaves dst empty and returns false. Paths are never
// truncated: a truncated path names a different file.
bool JoinPath(char* dst, const char* first, const char* second);

// True when the last character of path is a backslash (a trail byte 0x5C of
// a two-byte character is not one).
bool EndsWithBackslash(const char* path, const CodePage& codePage);

// True when a backslash can still be appended to path inside a kPathBuffer
// buffer (or none is needed).
bool RoomForBackslash(const char* path, const CodePage& codePage);

// True when name ends with suffix, compared without regard to ASCII case,
// and the suffix starts on a character of its own.
bool EndsWithText(const char* name, const char* suffix, const CodePage& codePage);

// text with its ASCII letters in lower (upper) case and every other byte,
// the second byte of a double-byte character too, as it was.
std::string AsciiLower(std::string text);
std::string AsciiUpper(std::string text);

// A path holding '?' or '*' names no real file (Windows names cannot hold
// them): it is what a folder search gives for a name the code page cannot
// spell, and the shell's file operations would take it as a wildcard.
bool HasWildcard(const char* path);

}  // namespace scan

#endif
