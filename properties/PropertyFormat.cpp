#include "PropertyFormat.h"

#include <charconv>
#include <cstring>

namespace properties {

namespace {

// The shell's hotkey modifier flags (HOTKEYF_*).
constexpr unsigned kHotkeyShift = 0x01;
constexpr unsigned kHotkeyControl = 0x02;
constexpr unsigned kHotkeyAlt = 0x04;
constexpr unsigned kHotkeyExt = 0x08;

}  // namespace

std::string FormatHotkey(std::uint16_t word)
{
    const unsigned modifiers = word >> 8;
    const char key = static_cast<char>(word & 0xFF);

    std::string text;
    if (modifiers & kHotkeyAlt)
        text += "Alt + ";
    if (modifiers & kHotkeyControl)
        text += "Ctrl + ";
    if (modifiers & kHotkeyExt)
        text += "Ext + ";
    if (modifiers & kHotkeyShift)
        text += "Shift + ";
    // Key code 0 would be the terminator of the text.
    if (key != '\0')
        text += key;
    return text;
}

std::size_t FormatIconLocation(const char* path, int index, char* text, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t pathLength = std::strlen(path);
    if (pathLength == 0) {
        text[0] = '\0';
        return 0;
    }

    // " , " and at most 11 characters of signed decimal.
    char suffix[16] = " , ";
    const std::to_chars_result number = std::to_chars(suffix + 3, suffix + sizeof suffix - 1, index);
    *number.ptr = '\0';
    const std::size_t suffixLength = static_cast<std::size_t>(number.ptr - suffix);

    // When the whole text does not fit, the path is cut and the index kept
    // whole: a cut number would silently name another icon of the file.
    // Only a buffer too small for the separator and index cuts those too.
    const std::size_t room = size - 1;
    const std::size_t pathRoom = room > suffixLength ? room - suffixLength : 0;
    const std::size_t pathKept = pathLength < pathRoom ? pathLength : pathRoom;
    const std::size_t suffixKept =
        room - pathKept < suffixLength ? room - pathKept : suffixLength;

    std::memmove(text, path, pathKept);  // may be the same buffer
    std::memcpy(text + pathKept, suffix, suffixKept);
    text[pathKept + suffixKept] = '\0';
    return pathKept + suffixKept;
}

}  // namespace properties
