// The shortcut reader against real shortcut files made by the shell.
#include "scan/ShortcutReader.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <map>
#include <string>

#include "TempFolder.h"
#include "TestFiles.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using scan::COpenShortcut;
using scan::OpenShortcut;
using wintest::CTempFolder;

// ResolveShortcut into a buffer full of junk, so that "not written" shows.
// Fails the calling test when the text is not terminated inside 260.
std::string Read(const std::string& shortcutPath)
{
    char target[scan::kPathBuffer];
    std::memset(target, '#', sizeof target);
    scan::ResolveShortcut(NULL, shortcutPath.c_str(), target);
    const void* end = std::memchr(target, '\0', sizeof target);
    if (!end) {
        ADD_FAILURE() << "target of " << shortcutPath << " not terminated within 260";
        return std::string(target, sizeof target);
    }
    return target;
}

// A string of n characters, for paths measured to the character.
std::string Fill(std::size_t n, char c = 'p')
{
    return std::string(n, c);
}

class ShortcutReaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.Path().empty()) << "no temporary folder"; }

    // A real shortcut to target; the target file is made first when asked.
    void Link(const std::string& link, const std::string& target, bool makeTarget)
    {
        if (makeTarget) {
            ASSERT_TRUE(wintest::MakeFile(target)) << target;
        }
        ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcut(link, target)) << link;
    }

    // Whatever OpenShortcut answers, the owner holds both or neither.
    HRESULT Open(const std::string& path, COpenShortcut& shortcut)
    {
        const HRESULT hr = OpenShortcut(NULL, path.c_str(), shortcut);
        if (SUCCEEDED(hr)) {
            EXPECT_NE(nullptr, shortcut.Link()) << path;
            EXPECT_NE(nullptr, shortcut.File()) << path;
        } else {
            EXPECT_EQ(nullptr, shortcut.Link()) << path << " hr=0x" << std::hex << hr;
            EXPECT_EQ(nullptr, shortcut.File()) << path << " hr=0x" << std::hex << hr;
        }
        return hr;
    }

    CTempFolder dir;
};

TEST_F(ShortcutReaderTest, ReadsTheStoredTargetWhetherItExistsOrNot)
{
    ASSERT_TRUE(CreateDirectoryA((dir / "apps").c_str(), NULL));
    Link(dir / "present.lnk", dir / "apps\\tool.exe", true);
    Link(dir / "folder.lnk", dir / "apps", false);
    Link(dir / "deleted.lnk", dir / "apps\\old.exe", true);
    ASSERT_TRUE(DeleteFileA((dir / "apps\\old.exe").c_str()));
    Link(dir / "never.lnk", dir / "apps\\never.exe", false);

    EXPECT_EQ(dir / "apps\\tool.exe", Read(dir / "present.lnk"));
    EXPECT_EQ(dir / "apps", Read(dir / "folder.lnk"));
    EXPECT_EQ(dir / "apps\\old.exe", Read(dir / "deleted.lnk"));
    EXPECT_EQ(dir / "apps\\never.exe", Read(dir / "never.lnk"));
}

TEST_F(ShortcutReaderTest, MovedTargetGivesTheNewOrTheStoredPath)
{
    ASSERT_TRUE(CreateDirectoryA((dir / "old").c_str(), NULL));
    Link(dir / "moved.lnk", dir / "old\\app.exe", true);
    ASSERT_TRUE(MoveFileA((dir / "old").c_str(), (dir / "new").c_str()));

    // Windows searches for the target within the 500 ms and finds the new
    // place; Wine 8 does not search: Resolve succeeds and the stored path is
    // read back.
    const std::string target = Read(dir / "moved.lnk");
    EXPECT_TRUE(target == dir / "new\\app.exe" || target == dir / "old\\app.exe") << target;
    RecordProperty("moved_target", target == dir / "new\\app.exe" ? "new path" : "stored path");
}

TEST_F(ShortcutReaderTest, FilesThatAreNotShortcutsGiveAnEmptyTarget)
{
    ASSERT_TRUE(wintest::WriteBytes(dir / "damaged.lnk",
                                    std::string("L\0\0\0", 4) + "not a shell link" + Fill(200, 'x')));
    ASSERT_TRUE(wintest::MakeFile(dir / "empty.lnk"));
    ASSERT_TRUE(CreateDirectoryA((dir / "Tools.lnk").c_str(), NULL));
    ASSERT_TRUE(wintest::WriteBytes(dir / "old.pif", Fill(545, '\x01')));
    // A real shortcut cut in the middle of its item list.
    Link(dir / "whole.lnk", dir / "tool.exe", true);
    std::string whole;
    ASSERT_TRUE(wintest::ReadBytes(dir / "whole.lnk", whole));
    ASSERT_GT(whole.size(), 0x60u);
    ASSERT_TRUE(wintest::WriteBytes(dir / "cut.lnk", whole.substr(0, 0x50)));

    for (const char* name : {"damaged.lnk", "empty.lnk", "Tools.lnk", "old.pif", "cut.lnk", "missing.lnk"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ("", Read(dir / name));
        COpenShortcut shortcut;
        EXPECT_TRUE(FAILED(Open(dir / name, shortcut)));
    }
}

TEST_F(ShortcutReaderTest, ShellItemWithoutFileSystemPathGivesAnEmptyTarget)
{
    ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcutToShellFolder(dir / "computer.lnk", CSIDL_DRIVES));
    COpenShortcut shortcut;
    EXPECT_HRESULT_SUCCEEDED(Open(dir / "computer.lnk", shortcut));
    EXPECT_EQ("", Read(dir / "computer.lnk"));
}

TEST_F(ShortcutReaderTest, PifGoesThroughTheSameReader)
{
    // The service reads the content, whatever the extension.
    Link(dir / "app.pif", dir / "app.exe", true);
    EXPECT_EQ(dir / "app.exe", Read(dir / "app.pif"));
}

TEST_F(ShortcutReaderTest, SystemCodePageNamesRoundTrip)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs code page 1252, the prefix has " << GetACP();
    const std::string link = dir / "Caf\xe9.lnk";
    const std::string target = dir / "cr\xe8me br\xfbl\xe9" "e.exe";
    Link(link, target, true);
    EXPECT_EQ(target, Read(link));
}

TEST_F(ShortcutReaderTest, PathsUpTo259CharactersAndNotOneMore)
{
    // base\<folder>\<name>.lnk, exactly 259 characters.
    const std::string folder = dir / Fill(200 - dir.Path().size());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL)) << GetLastError();
    const std::string link = folder + "\\" + Fill(259 - folder.size() - 1 - 4, 'n') + ".lnk";
    ASSERT_EQ(259u, link.size());
    Link(link, dir / "tool.exe", true);
    EXPECT_EQ(dir / "tool.exe", Read(link));

    // One more character must not be read as the 259-character file: a
    // conversion that cuts the path would open the shortcut above.
    for (const std::string& longer : {link + "x", link + "\\inner.lnk", link + Fill(300)}) {
        SCOPED_TRACE(longer.size());
        EXPECT_EQ("", Read(longer));
        COpenShortcut shortcut;
        EXPECT_TRUE(FAILED(Open(longer, shortcut)));
    }
}

TEST_F(ShortcutReaderTest, OpenShortcutGivesTheFieldsThePropertiesShow)
{
    ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcut(dir / "editor.lnk", dir / "edit.exe",
                                                    "Text editor", "/safe notes.txt"));
    COpenShortcut shortcut;
    ASSERT_HRESULT_SUCCEEDED(Open(dir / "editor.lnk", shortcut));

    char text[scan::kPathBuffer];
    std::memset(text, '#', sizeof text);
    EXPECT_HRESULT_SUCCEEDED(shortcut.Link()->GetDescription(text, sizeof text));
    EXPECT_STREQ("Text editor", text);
    std::memset(text, '#', sizeof text);
    EXPECT_HRESULT_SUCCEEDED(shortcut.Link()->GetArguments(text, sizeof text));
    EXPECT_STREQ("/safe notes.txt", text);
}

// Wine's shell link counts references over all its interfaces, so once the
// owner has let go, our own two extra references are the last ones.
TEST_F(ShortcutReaderTest, OwnerReleasesBothInterfacesOnEveryWayOut)
{
    Link(dir / "a.lnk", dir / "a.exe", true);
    Link(dir / "b.lnk", dir / "b.exe", true);

    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    {
        COpenShortcut shortcut;
        ASSERT_HRESULT_SUCCEEDED(Open(dir / "a.lnk", shortcut));
        link = shortcut.Link();
        file = shortcut.File();
        link->AddRef();
        file->AddRef();
    }
    EXPECT_EQ(1u, file->Release()) << "destructor";
    EXPECT_EQ(0u, link->Release()) << "destructor";

    COpenShortcut shortcut;
    ASSERT_HRESULT_SUCCEEDED(Open(dir / "a.lnk", shortcut));
    link = shortcut.Link();
    file = shortcut.File();
    link->AddRef();
    file->AddRef();
    ASSERT_HRESULT_SUCCEEDED(Open(dir / "b.lnk", shortcut));
    EXPECT_NE(link, shortcut.Link());
    EXPECT_EQ(1u, file->Release()) << "reopened";
    EXPECT_EQ(0u, link->Release()) << "reopened";

    link = shortcut.Link();
    file = shortcut.File();
    link->AddRef();
    file->AddRef();
    EXPECT_TRUE(FAILED(Open(dir / "absent.lnk", shortcut)));
    EXPECT_EQ(1u, file->Release()) << "failed reopen";
    EXPECT_EQ(0u, link->Release()) << "failed reopen";

    shortcut.Release();
    shortcut.Release();  // a second release is harmless
    EXPECT_EQ(nullptr, shortcut.Link());
}

TEST_F(ShortcutReaderTest, ReadingNeverChangesTheFile)
{
    ASSERT_TRUE(CreateDirectoryA((dir / "old").c_str(), NULL));
    Link(dir / "moved.lnk", dir / "old\\app.exe", true);
    Link(dir / "present.lnk", dir / "tool.exe", true);
    ASSERT_TRUE(MoveFileA((dir / "old").c_str(), (dir / "new").c_str()));

    for (const char* name : {"moved.lnk", "present.lnk"}) {
        SCOPED_TRACE(name);
        const std::string path = dir / name;
        std::string before, after;
        FILETIME timeBefore = {}, timeAfter = {};
        ASSERT_TRUE(wintest::ReadBytes(path, before));
        ASSERT_TRUE(wintest::LastWriteTime(path, timeBefore));
        Sleep(20);  // so that a rewrite would show in the time too

        {
            COpenShortcut shortcut;
            ASSERT_HRESULT_SUCCEEDED(Open(path, shortcut));
            char text[scan::kPathBuffer];
            WIN32_FIND_DATAA data;
            shortcut.Link()->GetPath(text, sizeof text, &data, 0);
            shortcut.Link()->GetWorkingDirectory(text, sizeof text);
        }
        Read(path);

        ASSERT_TRUE(wintest::ReadBytes(path, after));
        ASSERT_TRUE(wintest::LastWriteTime(path, timeAfter));
        EXPECT_TRUE(before == after) << "content changed";
        EXPECT_EQ(0, CompareFileTime(&timeBefore, &timeAfter)) << "write time changed";
    }
}

// Every kind of shortcut found on real machines, built byte by byte: each
// gives the target it names, or none, and is left as it was.
TEST_F(ShortcutReaderTest, EveryKindOfShortcutGivesItsTargetAndIsLeftUnchanged)
{
    // Where Wine's shell link reads a kind otherwise than Windows does: what
    // it gives instead.
    const std::map<std::string, std::string> wineGives = {
        {"unc", ""},                     // it reads only the local path of the link info
        {"relative", ".\\tool.exe"},     // it hands back the relative path as stored
        {"environment", ""},             // it does not read the environment variables block
    };
    for (const lnkkit::Variant& variant : lnkkit::Variants()) {
        SCOPED_TRACE(variant.name);
        const std::string path = dir / (std::string(variant.name) + ".lnk");
        const std::string bytes = lnkkit::Build(variant.parts);
        ASSERT_TRUE(wintest::WriteBytes(path, bytes));
        EXPECT_HRESULT_SUCCEEDED(scan::CheckShortcutFile(path.c_str()));

        std::string expected = variant.target;
        if (expected.compare(0, 2, ".\\") == 0) {  // beside the shortcut, and there
            expected = dir / expected.substr(2);
            ASSERT_TRUE(wintest::MakeFile(expected));
        } else {
            char expanded[scan::kPathBuffer] = {};
            ASSERT_NE(0u, ExpandEnvironmentStringsA(expected.c_str(), expanded, sizeof expanded));
            expected = expanded;
        }
        const std::string target = Read(path);
        const auto other = wineGives.find(variant.name);
        if (other != wineGives.end() && target != expected)
            EXPECT_EQ(other->second, target) << "neither what Windows gives (" << expected << ") nor what Wine does";
        else
            EXPECT_EQ(expected, target);

        std::string after;
        ASSERT_TRUE(wintest::ReadBytes(path, after));
        EXPECT_TRUE(bytes == after) << "content changed";
    }
}

}  // namespace
