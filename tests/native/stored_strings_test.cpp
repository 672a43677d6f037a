// The relative path and working folder a shortcut stores, read from its bytes
// (a link loaded from memory cannot resolve them itself), and the full path a
// relative one gives beside the shortcut.
#include <gtest/gtest.h>

#include "scan/StoredStrings.h"
#include "tests/kit/LnkBuilder.h"

namespace {

TEST(StoredStrings, RelativePathAndWorkingFolderComeFromEachFormOfStringData)
{
    const struct {
        const char* kind;
        bool unicode;
        bool idList;
        bool linkInfo;
        bool name;
    } cases[] = {
        {"narrow, alone", false, false, false, false},
        {"wide, after a name", true, false, false, true},
        {"wide, after an item list and link info", true, true, true, true},
        {"narrow, after link info", false, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        lnkkit::LinkParts parts;
        parts.unicode = c.unicode;
        if (c.idList)
            parts.idList = lnkkit::PathItems("C:\\APPS\\TOOL.EXE");
        if (c.linkInfo)
            parts.localBasePath = "C:\\Apps\\tool.exe";
        if (c.name)
            parts.name = "A tool";
        parts.relativePath = "..\\Apps\\tool.exe";
        parts.workingDir = c.unicode ? "C:\\Caf\xe9" : "C:\\Work";
        const std::string bytes = lnkkit::Build(parts);
        scan::MemoryByteSource source(bytes.data(), bytes.size());
        scan::StoredStrings strings;
        ASSERT_TRUE(scan::ReadStoredStrings(source, strings));
        EXPECT_EQ("..\\Apps\\tool.exe", strings.relativePath);
        EXPECT_EQ(c.unicode ? "C:\\Caf\xc3\xa9" : "C:\\Work", strings.workingDir);
    }
}

TEST(StoredStrings, NothingFromAFileThatFailsTheCheckOrSpellsInAnUnknownCodePage)
{
    lnkkit::LinkParts parts;
    parts.relativePath = ".\\Caf\xe9.exe";  // narrow: the code page's, unknown here
    std::string bytes = lnkkit::Build(parts);
    scan::StoredStrings strings;
    scan::MemoryByteSource narrow(bytes.data(), bytes.size());
    EXPECT_FALSE(scan::ReadStoredStrings(narrow, strings));
    EXPECT_EQ("", strings.relativePath);

    parts.relativePath = ".\\tool.exe";
    bytes = lnkkit::Build(parts);
    bytes.resize(bytes.size() - 6);  // the count claims more than is left
    scan::MemoryByteSource cut(bytes.data(), bytes.size());
    EXPECT_FALSE(scan::ReadStoredStrings(cut, strings));
    EXPECT_EQ("", strings.relativePath);
}

TEST(StoredStrings, ARelativePathJoinsTheShortcutsFolderAsTheSystemWouldJoinIt)
{
    const struct {
        const char* folder;
        const char* relative;
        const char* joined;
    } cases[] = {
        {"C:\\Links", ".\\tool.exe", "C:\\Links\\tool.exe"},
        {"C:\\Links\\", "tool.exe", "C:\\Links\\tool.exe"},
        {"C:\\Links\\Sub", "..\\..\\Apps\\.\\tool.exe", "C:\\Apps\\tool.exe"},
        {"C:\\Links", "..\\..\\..\\tool.exe", "C:\\tool.exe"},  // never above the root
        {"C:\\Links", "../Apps/tool.exe", "C:\\Apps\\tool.exe"},
        {"\\\\srv\\share\\Links", "..\\..\\tool.exe", "\\\\srv\\share\\tool.exe"},
        {"C:\\Links", "", ""},
        {"C:\\Links", "\\Apps\\tool.exe", ""},  // rooted: not beside the shortcut
        {"C:\\Links", "D:tool.exe", ""},
        {"C:\\Links", "D:\\tool.exe", ""},
        {"Links", ".\\tool.exe", ""},  // no full folder to join
        {"\\\\srv", ".\\tool.exe", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.joined, scan::JoinRelative(c.folder, c.relative)) << c.folder << " + " << c.relative;
}

}  // namespace
