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

TEST(RoomForBackslash, AtTheBufferEdge)
{
    const std::string d258(258, 'd');
    const std::string d259(259, 'd');
    EXPECT_TRUE(RoomForBackslash("")) << "an empty path takes no backslash";
    EXPECT_TRUE(RoomForBackslash("\\"));
    EXPECT_TRUE(RoomForBackslash("C:"));
    EXPECT_TRUE(RoomForBackslash(d258.c_str())) << "258 + backslash = 259";
    EXPECT_FALSE(RoomForBackslash(d259.c_str())) << "259 + backslash = 260: no room for the terminator";
    EXPECT_TRUE(RoomForBackslash((d258 + "\\").c_str())) << "259 ending in a backslash needs none";
    EXPECT_FALSE(RoomForBackslash((d259 + "\\").c_str())) << "260 characters never fit";
    EXPECT_FALSE(RoomForBackslash(std::string(300, 'd').c_str()));
    EXPECT_FALSE(RoomForBackslash((std::string(299, 'd') + "\\").c_str()));
}

}  // namespace
