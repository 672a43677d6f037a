#include "PathText.h"

#include <cctype>
#include <cstring>

namespace scan {

namespace {

// Offset of the character that starts at or before the end of the first n
// bytes of text: the last character start when n is the text's length.
std::size_t LastCharacterStart(const char* text, std::size_t n, const CodePage& codePage)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < n;) {
        start = i;
        i += codePage.IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < n ? 2 : 1;
    }
    return start;
}

bool StartsCharacter(const char* text, std::size_t offset, const CodePage& codePage)
{
    // Stepping lands either on offset or one past it (inside a character).
    std::size_t i = 0;
    while (i < offset)
        i += codePage.IsLeadByte(static_cast<unsigned char>(text[i])) && text[i + 1] != '\0' ? 2 : 1;
    return i == offset;
}

}  // namespace

bool JoinPath(char* dst, const char* first, const char* second)
{
    const std::size_t a = std::strlen(first);
    const std::size_t b = std::strlen(second);
    if (a > kMaxPathLength || b > kMaxPathLength - a) {
        dst[0] = '\0';
        return false;
    }
    std::memmove(dst, first, a);
    std::memcpy(dst + a, second, b + 1);
    return true;
}

bool EndsWithBackslash(const char* path, const CodePage& codePage)
{
    const std::size_t n = std::strlen(path);
    if (n == 0)
        return false;
    const std::size_t last = LastCharacterStart(path, n, codePage);
    return last == n - 1 && path[last] == '\\';
}

bool RoomForBackslash(const char* path, const CodePage& codePage)
{
    const std::size_t n = std::strlen(path);
    if (n == 0 || EndsWithBackslash(path, codePage))
        return n <= kMaxPathLength;
    return n < kMaxPathLength;
}

bool EndsWithText(const char* name, const char* suffix, const CodePage& codePage)
{
    const std::size_t n = std::strlen(name);
    const std::size_t m = std::strlen(suffix);
    if (m > n)
        return false;
    for (std::size_t i = 0; i < m; ++i)
        if (std::tolower(static_cast<unsigned char>(name[n - m + i])) !=
            std::tolower(static_cast<unsigned char>(suffix[i])))
            return false;
    return StartsCharacter(name, n - m, codePage);
}

std::string AsciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string AsciiUpper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool HasWildcard(const char* path)
{
    return std::strpbrk(path, "?*") != nullptr;
}

}  // namespace scan
