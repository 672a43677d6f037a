// The hotkey and icon-location texts of the Properties dialog. Icon texts
// are written into heap blocks of exactly the size given, so
// AddressSanitizer reports any write past them.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "properties/PropertyFormat.h"

namespace {

using properties::FormatHotkey;
using properties::FormatIconLocation;

constexpr std::size_t kBuffer = 260;  // the dialog's read buffer

// Pre-filled with junk, so "not written" differs from "written empty".
std::unique_ptr<char[]> JunkBuffer(std::size_t size = kBuffer)
{
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), '#', size);
    return buffer;
}

std::string IconText(const std::string& path, int index)
{
    auto text = JunkBuffer();
    const std::size_t length = FormatIconLocation(path.c_str(), index, text.get(), kBuffer);
    EXPECT_EQ(length, std::strlen(text.get()));
    return text.get();
}

// A path of exactly n characters that still reads like one.
std::string PathOf(std::size_t n)
{
    std::string path = "C:\\Icons\\";
    while (path.size() < n)
        path += static_cast<char>('a' + path.size() % 26);
    path.resize(n);
    return path;
}

TEST(FormatHotkey, NoHotkeyIsTheEmptyText)
{
    EXPECT_EQ(FormatHotkey(0x0000), "");
}

TEST(FormatHotkey, ExamplesOfTheDialog)
{
    EXPECT_EQ(FormatHotkey(0x0641), "Alt + Ctrl + A");
    // F1 (0x70) has no printable name: the character of its code shows.
    EXPECT_EQ(FormatHotkey(0x0170), "Shift + p");
}

TEST(FormatHotkey, EachModifierAlone)
{
    EXPECT_EQ(FormatHotkey(0x0141), "Shift + A");
    EXPECT_EQ(FormatHotkey(0x0241), "Ctrl + A");
    EXPECT_EQ(FormatHotkey(0x0441), "Alt + A");
    EXPECT_EQ(FormatHotkey(0x0841), "Ext + A");
}

TEST(FormatHotkey, ModifiersAlwaysInTheOrderAltCtrlExtShift)
{
    EXPECT_EQ(FormatHotkey(0x0F41), "Alt + Ctrl + Ext + Shift + A");
    EXPECT_EQ(FormatHotkey(0x0941), "Ext + Shift + A");
    EXPECT_EQ(FormatHotkey(0x0341), "Ctrl + Shift + A");
    EXPECT_EQ(FormatHotkey(0x0C41), "Alt + Ext + A");
    EXPECT_EQ(FormatHotkey(0x0541), "Alt + Shift + A");
}

TEST(FormatHotkey, HighFlagBitsOutsideTheFourAreIgnored)
{
    EXPECT_EQ(FormatHotkey(0xF041), "A");
    EXPECT_EQ(FormatHotkey(0xFF41), "Alt + Ctrl + Ext + Shift + A");
}

TEST(FormatHotkey, KeyCodeZeroEndsTheTextAfterTheModifiers)
{
    EXPECT_EQ(FormatHotkey(0x0600), "Alt + Ctrl + ");
    EXPECT_EQ(FormatHotkey(0x0100), "Shift + ");
}

TEST(FormatHotkey, KeyCodeIsOneCharacterOfTheSameCode)
{
    EXPECT_EQ(FormatHotkey(0x0041), "A");
    EXPECT_EQ(FormatHotkey(0x0030), "0");
    EXPECT_EQ(FormatHotkey(0x0001), std::string(1, '\x01'));
    EXPECT_EQ(FormatHotkey(0x02DE), std::string("Ctrl + ") + '\xDE');
    EXPECT_EQ(FormatHotkey(0x00FF).size(), 1u);
}

TEST(FormatIconLocation, PathSeparatorAndSignedIndex)
{
    EXPECT_EQ(IconText("C:\\Apps\\tool.exe", 12), "C:\\Apps\\tool.exe , 12");
    EXPECT_EQ(IconText("C:\\Apps\\tool.exe", -3), "C:\\Apps\\tool.exe , -3");
    EXPECT_EQ(IconText("C:\\Apps\\tool.exe", 0), "C:\\Apps\\tool.exe , 0");
    EXPECT_EQ(IconText("x", INT_MIN), "x , -2147483648");
    EXPECT_EQ(IconText("x", INT_MAX), "x , 2147483647");
}

TEST(FormatIconLocation, EmptyPathIsTheEmptyTextWhateverTheIndex)
{
    for (int index : {0, 1, -3, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(index);
        auto text = JunkBuffer();
        EXPECT_EQ(FormatIconLocation("", index, text.get(), kBuffer), 0u);
        EXPECT_EQ(text[0], '\0');
    }
}

// 245 characters, " , " and the longest index make exactly 259.
TEST(FormatIconLocation, LongestPathThatAlwaysFitsWhole)
{
    const std::string path = PathOf(245);
    const std::string text = IconText(path, INT_MIN);
    EXPECT_EQ(text, path + " , -2147483648");
    EXPECT_EQ(text.size(), 259u);
}

// From 246 characters on, the path is cut so that the whole index shows and
// the terminator lands at index 259 at the latest.
TEST(FormatIconLocation, LongerPathIsCutAndTheIndexKeptWhole)
{
    struct Case {
        std::size_t pathLength;
        int index;
        std::string suffix;
    };
    const Case cases[] = {
        {246, INT_MIN, " , -2147483648"},
        {246, 12, " , 12"},   // fits whole: 251 characters
        {250, 12, " , 12"},   // fits whole: 255
        {255, 0, " , 0"},     // fits whole: exactly 259
        {256, 0, " , 0"},     // one too many: the path loses one
        {259, 12, " , 12"},
        {259, -3, " , -3"},
        {259, INT_MIN, " , -2147483648"},
        {259, INT_MAX, " , 2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pathLength) + " characters, index " + std::to_string(c.index));
        const std::string path = PathOf(c.pathLength);
        const std::string text = IconText(path, c.index);
        const std::size_t whole = c.pathLength + c.suffix.size();
        if (whole <= 259) {
            EXPECT_EQ(text, path + c.suffix);
        } else {
            EXPECT_EQ(text.size(), 259u);
            EXPECT_EQ(text, path.substr(0, 259 - c.suffix.size()) + c.suffix);
        }
    }
}

TEST(FormatIconLocation, NeverWritesPastTheBufferWhateverItsSize)
{
    const std::string path = PathOf(259);
    for (std::size_t size = 1; size <= 300; ++size) {
        SCOPED_TRACE(size);
        // Exactly size bytes on the heap, then a guarded copy to see where
        // the terminator went.
        auto text = JunkBuffer(size);
        const std::size_t length = FormatIconLocation(path.c_str(), INT_MIN, text.get(), size);
        ASSERT_LT(length, size);
        EXPECT_EQ(text[length], '\0');
        EXPECT_EQ(std::strlen(text.get()), length);
    }
    EXPECT_EQ(FormatIconLocation(path.c_str(), 1, nullptr, 0), 0u);
}

// The dialog builds the text in the buffer the icon path was read into.
TEST(FormatIconLocation, CanBeBuiltInThePathsOwnBuffer)
{
    for (std::size_t n : {16u, 245u, 246u, 259u}) {
        SCOPED_TRACE(n);
        const std::string path = PathOf(n);
        auto buffer = JunkBuffer();
        std::memcpy(buffer.get(), path.c_str(), n + 1);
        FormatIconLocation(buffer.get(), -7, buffer.get(), kBuffer);
        EXPECT_EQ(std::string(buffer.get()), IconText(path, -7));
    }
}

}  // namespace
