// Bounded path text at the 259/260-character edge. Destination buffers are
// heap blocks of exactly 260 characters, so AddressSanitizer reports any
// write past them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "scan/PathText.h"

namespace {

using scan::JoinPath;
using scan::kPathBuffer;
using scan::RoomForBackslash;

// A 260-character buffer pre-filled with junk, so that "left alone" and
// "written empty" can be told apart.
std::unique_ptr<char[]> JunkBuffer()
{
    std::unique_ptr<char[]> buffer(new char[kPathBuffer]);
    std::memset(buffer.get(), '#', kPathBuffer);
    return buffer;
}

struct JoinCase {
    std::size_t first;
    std::size_t second;
};

TEST(JoinPath, JoinsWholeWhenTheResultHasAtMost259Characters)
{
    const JoinCase cases[] = {{0, 0}, {3, 5}, {258, 1}, {254, 5}, {259, 0}, {0, 259}, {130, 129}};
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " + " + std::to_string(c.second));
        const std::string first(c.first, 'f');
        const std::string second(c.second, 's');
        auto dst = JunkBuffer();
        EXPECT_TRUE(JoinPath(dst.get(), first.c_str(), second.c_str()));
        EXPECT_EQ(std::string(dst.get()), first + second);
    }
}

TEST(JoinPath, RefusesAndLeavesEmptyWhenTheResultWouldHave260OrMore)
{
    const JoinCase cases[] = {{259, 1}, {255, 5}, {0, 260}, {260, 0}, {1, 259}, {400, 400}, {100000, 3}};
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " + " + std::to_string(c.second));
        const std::string first(c.first, 'f');
        const std::string second(c.second, 's');
        auto dst = JunkBuffer();
        EXPECT_FALSE(JoinPath(dst.get(), first.c_str(), second.c_str()));
        EXPECT_EQ(dst[0], '\0') << "a refused join is never truncated into dst";
    }
}

TEST(JoinPath, KeepsBackslashesAndCaseAsGiven)
{
    auto dst = JunkBuffer();
    ASSERT_TRUE(JoinPath(dst.get(), "C:\\Start Menu\\", "Tools.LNK"));
    EXPECT_STREQ(dst.get(), "C:\\Start Menu\\Tools.LNK");
}

// Lead bytes of code page 932 (Japanese), and a code page without any.
class CodePage932 : public scan::CodePage {
public:
    bool IsLeadByte(unsigned char c) const override
    {
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    }
};
class SingleByteCodePage : public scan::CodePage {
public:
    bool IsLeadByte(unsigned char) const override { return false; }
};

// In code page 932 "ソ" is 0x83 0x5C: its second byte is the backslash's.
const std::string kSo = "\x83\x5C";

TEST(RoomForBackslash, AtTheBufferEdgeByCharacterNotByte)
{
    const CodePage932 cp932;
    const SingleByteCodePage single;
    const std::string d258(258, 'd');
    const std::string d259(259, 'd');
    struct Case {
        std::string path;
        bool room932;
        bool roomSingle;
    };
    const Case cases[] = {
        {"", true, true},
        {"\\", true, true},
        {"C:", true, true},
        {d258, true, true},                    // 258 + backslash = 259
        {d259, false, false},                  // no room left for the terminator
        {d258 + "\\", true, true},             // 259 ending in a backslash needs none
        {d259 + "\\", false, false},           // 260 never fits
        {std::string(300, 'd'), false, false},
        {std::string(256, 'd') + kSo, true, true},  // 258 bytes: room either way
        {std::string(257, 'd') + kSo, false, true}, // 259 bytes ending in a character, not a backslash
        {std::string(255, 'd') + kSo + "\\", true, true},
        {std::string(256, 'd') + kSo + "\\", true, true},   // 259 ending in a real backslash
        {std::string(257, 'd') + kSo + "\\", false, false},
        {std::string(255, 'd') + "\x83" + "\\\\", true, true},  // lead+0x5C, then a real backslash
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.path.size()) + " bytes ending 0x" +
                     (c.path.empty() ? std::string("--") : std::to_string(static_cast<unsigned char>(c.path.back()))));
        EXPECT_EQ(RoomForBackslash(c.path.c_str(), cp932), c.room932) << "code page 932";
        EXPECT_EQ(RoomForBackslash(c.path.c_str(), single), c.roomSingle) << "single-byte code page";
    }
    EXPECT_FALSE(scan::EndsWithBackslash(("C:\\" + kSo).c_str(), cp932));
    EXPECT_TRUE(scan::EndsWithBackslash(("C:\\" + kSo + "\\").c_str(), cp932));
}

TEST(EndsWithText, WholeCharactersAnyCase)
{
    const CodePage932 cp932;
    EXPECT_TRUE(scan::EndsWithText("Tool.LNK", ".lnk", cp932));
    EXPECT_FALSE(scan::EndsWithText("Tool.lnkx", ".lnk", cp932));
    EXPECT_FALSE(scan::EndsWithText("lnk", ".lnk", cp932));
    EXPECT_TRUE(scan::EndsWithText("x", "", cp932));
    // 0x83 'p' is one character, so no "pif" starts at its second byte.
    EXPECT_FALSE(scan::EndsWithText("a\x83pif", "pif", cp932));
    EXPECT_TRUE(scan::EndsWithText("a\x83pif", "if", cp932));
}

TEST(HasWildcard, QuestionMarkOrStar)
{
    EXPECT_TRUE(scan::HasWildcard("C:\\Menu\\??.lnk"));
    EXPECT_TRUE(scan::HasWildcard("C:\\*"));
    EXPECT_FALSE(scan::HasWildcard("C:\\Menu\\Tool.lnk"));
}

}  // namespace
