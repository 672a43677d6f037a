// The scan's file-system side: each operation against the real system.
#include "scan/Win32ScanFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "TestFiles.h"
#include "res/resource.h"

namespace {

using scan::CWin32ScanFileSystem;
using scan::FindEntry;
using wintest::CTempFolder;

class Win32ScanFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.Path().empty()) << "no temporary folder"; }

    // Every entry the search gives, as "name" or "name/" for a folder.
    std::vector<std::string> Find(const std::string& pattern)
    {
        std::vector<std::string> found;
        FindEntry entry;
        entry.name = "####";
        CWin32ScanFileSystem::Search search = fs.FindFirst(pattern, entry);
        if (!search)
            return found;
        do {
            const bool folder = (entry.attributes & scan::kAttributeDirectory) != 0;
            found.push_back(std::string(entry.name) + (folder ? "/" : ""));
        } while (fs.FindNext(search, entry));
        fs.FindClose(search);
        std::sort(found.begin(), found.end());
        return found;
    }

    std::string WithBackslash(std::string text)
    {
        fs.AddBackslash(text);
        return text;
    }

    CTempFolder dir;
    CWin32ScanFileSystem fs{NULL};
};

TEST_F(Win32ScanFileSystemTest, FindsByPatternWhateverTheCaseAndKind)
{
    ASSERT_TRUE(wintest::MakeFile(dir / "a.lnk"));
    ASSERT_TRUE(wintest::MakeFile(dir / "B.LNK"));
    ASSERT_TRUE(wintest::MakeFile(dir / "c.txt"));
    ASSERT_TRUE(wintest::MakeFile(dir / "e.pif"));
    ASSERT_TRUE(CreateDirectoryA((dir / "Tools.lnk").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((dir / "Sub").c_str(), NULL));

    EXPECT_EQ((std::vector<std::string>{"B.LNK", "Tools.lnk/", "a.lnk"}), Find(dir / "*.lnk"));
    EXPECT_EQ((std::vector<std::string>{"e.pif"}), Find(dir / "*.pif"));
    EXPECT_EQ((std::vector<std::string>{"../", "./", "B.LNK", "Sub/", "Tools.lnk/", "a.lnk", "c.txt", "e.pif"}),
              Find(dir / "*.*"));
}

TEST_F(Win32ScanFileSystemTest, NothingToFindGivesNoSearch)
{
    FindEntry entry;
    EXPECT_EQ(nullptr, fs.FindFirst(dir / "*.lnk", entry));
    EXPECT_EQ(nullptr, fs.FindFirst(dir / "no such folder\\*.*", entry));
    EXPECT_EQ(nullptr, fs.FindFirst("", entry));
}

TEST_F(Win32ScanFileSystemTest, LongNamesComeWhole)
{
    const std::string name = std::string(200, 'n') + ".lnk";
    ASSERT_TRUE(wintest::MakeFile(dir / name));
    EXPECT_EQ(std::vector<std::string>{name}, Find(dir / "*.lnk"));
}

TEST_F(Win32ScanFileSystemTest, AddsABackslashOnlyWhereOneIsMissing)
{
    EXPECT_EQ("C:\\Apps\\", WithBackslash("C:\\Apps"));
    EXPECT_EQ("C:\\Apps\\", WithBackslash("C:\\Apps\\"));
    EXPECT_EQ("", WithBackslash(""));
}

TEST_F(Win32ScanFileSystemTest, PresenceTestsAgreeOnFilesFoldersAndNothing)
{
    ASSERT_TRUE(wintest::MakeFile(dir / "tool.exe"));
    struct Case {
        std::string path;
        bool present;
    };
    const Case cases[] = {
        {dir / "tool.exe", true},
        {dir / "", true},                       // folder with its backslash
        {dir.Path().substr(0, dir.Path().size() - 1), true},
        {dir / "gone.exe", false},
        {"", false},
    };
    for (const Case& c : cases) {
        scan::ShortcutTarget target;
        target.text = c.path;
        const scan::Verdict verdict = c.present ? scan::Verdict::Present : scan::Verdict::Missing;
        EXPECT_EQ(verdict, fs.LinkTargetPresence(target).verdict) << "'" << c.path << "'";
        EXPECT_EQ(verdict, fs.PifTargetPresence(target).verdict) << "'" << c.path << "'";
    }
}

TEST_F(Win32ScanFileSystemTest, StripsToTheRootOfDrivesAndShares)
{
    EXPECT_EQ("C:\\", fs.Root("C:\\Apps\\x.exe"));
    EXPECT_EQ("R:\\", fs.Root("R:\\game\\run.exe"));
    EXPECT_EQ("\\\\server\\share", fs.Root("\\\\server\\share\\x.exe"));
    EXPECT_EQ("", fs.Root(""));
}

// The prefix that scripts/wine-run.sh makes has R: as a CD-ROM drive and S:
// as a network drive.
TEST_F(Win32ScanFileSystemTest, DriveTypesOfThePrefix)
{
    EXPECT_EQ(static_cast<unsigned>(DRIVE_FIXED), fs.DriveType("C:\\"));
    EXPECT_EQ(static_cast<unsigned>(DRIVE_CDROM), fs.DriveType("R:\\"));
    EXPECT_EQ(static_cast<unsigned>(DRIVE_REMOTE), fs.DriveType("S:\\"));
    // The root of an unresolvable shortcut: Wine 8 says DRIVE_NO_ROOT_DIR, so
    // such shortcuts stay hidden while removable drives are ignored.
    EXPECT_NE(scan::kDriveFixed, fs.DriveType(""));
}

TEST_F(Win32ScanFileSystemTest, LoadsTextsFromTheGivenModule)
{
    EXPECT_EQ("*.lnk", fs.LoadText(IDS_LINK_PATTERN));
    EXPECT_EQ("--- error ---", fs.LoadText(IDS_ERROR));
    EXPECT_EQ("", fs.LoadText(4242));

    // A module without our string table.
    CWin32ScanFileSystem other(NULL, GetModuleHandleA("kernel32.dll"));
    EXPECT_NE("*.lnk", other.LoadText(IDS_LINK_PATTERN));
}

TEST_F(Win32ScanFileSystemTest, ResolvesThroughTheShortcutReader)
{
    ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcut(dir / "a.lnk", dir / "a.exe"));
    scan::ShortcutTarget target{"####", "####", "####", "####", 7, "####", true, scan::Presence{scan::Verdict::Present, "####"}, "####", "####"};
    fs.ResolveShortcut(dir / "a.lnk", target);
    EXPECT_EQ(dir / "a.exe", target.text);
    EXPECT_EQ(dir / "a.exe", target.exact) << "the wide read of an ASCII target";
    EXPECT_EQ("", target.unverifiable);

    target = scan::ShortcutTarget{"####", "####", "####", "####", 7, "####", true, scan::Presence{scan::Verdict::Present, "####"}, "####", "####"};
    fs.ResolveShortcut(dir / "none.lnk", target);
    EXPECT_EQ("", target.text);
    EXPECT_EQ("", target.exact);
}

}  // namespace
