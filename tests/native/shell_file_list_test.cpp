// The one-file list handed to the shell's file operation, at the 259/260
// edge. The shell reads names until it finds an empty one; these tests read
// the list the same way, inside a block guarded by non-zero bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/ShellFileList.h"

namespace {

struct GuardedList {
    char list[kShellFileListBuffer];
    char guard[16];
};

// The names as the shell takes them: each up to its zero, until an empty
// name; stops (and says so) at the end of the list buffer.
std::vector<std::string> ReadLikeTheShell(const GuardedList& block, bool* ranOff)
{
    std::vector<std::string> names;
    const char* p = block.list;
    const char* end = block.list + sizeof block.list;
    *ranOff = false;
    for (;;) {
        const char* zero = static_cast<const char*>(std::memchr(p, '\0', static_cast<std::size_t>(end - p)));
        if (!zero) {
            *ranOff = true;
            return names;
        }
        if (zero == p)
            return names;
        names.emplace_back(p, zero);
        p = zero + 1;
        if (p == end) {
            *ranOff = true;  // no room left for the list's own terminator
            return names;
        }
    }
}

GuardedList Junk()
{
    GuardedList block;
    std::memset(&block, 'X', sizeof block);
    return block;
}

TEST(ShellFileList, HoldsOneNameAndBothTerminatorsUpTo259Characters)
{
    for (std::size_t n : {1u, 3u, 258u, 259u}) {
        SCOPED_TRACE(n);
        std::string exact(n, 'p');
        if (n >= 3)
            exact.replace(0, 3, "C:\\");
        GuardedList block = Junk();
        ASSERT_TRUE(MakeShellFileList(exact.c_str(), block.list));
        bool ranOff = true;
        const std::vector<std::string> names = ReadLikeTheShell(block, &ranOff);
        EXPECT_FALSE(ranOff) << "the list's second zero is missing";
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0], exact);
        EXPECT_EQ(std::string(block.guard, sizeof block.guard), std::string(sizeof block.guard, 'X'));
    }
}

TEST(ShellFileList, RefusesALongerPathInsteadOfCuttingIt)
{
    for (std::size_t n : {260u, 261u, 1000u}) {
        SCOPED_TRACE(n);
        const std::string path(n, 'q');
        GuardedList block = Junk();
        EXPECT_FALSE(MakeShellFileList(path.c_str(), block.list));
        bool ranOff = true;
        EXPECT_TRUE(ReadLikeTheShell(block, &ranOff).empty()) << "a refused list names no file";
        EXPECT_FALSE(ranOff);
    }
}

TEST(ShellFileList, EmptyPathIsRefused)
{
    GuardedList block = Junk();
    EXPECT_FALSE(MakeShellFileList("", block.list));
    bool ranOff = true;
    EXPECT_TRUE(ReadLikeTheShell(block, &ranOff).empty());
    EXPECT_FALSE(ranOff);
}

}  // namespace
