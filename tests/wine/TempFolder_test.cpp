// The temporary folders the other tests and the benchmark stand on.
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestFiles.h"

namespace {

TEST(TempFolderTest, EachIsFreshAndGoesWithAllItHolds)
{
    std::string path;
    {
        wintest::CTempFolder first;
        wintest::CTempFolder second;
        ASSERT_FALSE(first.Path().empty());
        ASSERT_NE(first.Path(), second.Path());
        path = first.Path();
        EXPECT_EQ('\\', path.back());

        // What the tests leave behind: read-only copies, nested folders and
        // paths past MAX_PATH.
        ASSERT_TRUE(wintest::MakeFile(first / "ro.lnk"));
        ASSERT_TRUE(SetFileAttributesA((first / "ro.lnk").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(CreateDirectoryA((first / "a").c_str(), NULL));
        const std::string deep = first / ("a\\" + std::string(240, 'd'));
        ASSERT_TRUE(CreateDirectoryW(wintest::LongPath(deep).c_str(), NULL)) << GetLastError();
        ASSERT_TRUE(CreateDirectoryW(wintest::LongPath(deep + "\\" + std::string(100, 'e')).c_str(), NULL));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path << " is still there";
}

}  // namespace
