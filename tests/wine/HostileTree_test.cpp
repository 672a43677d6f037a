// Trees a careless walk gets wrong, scanned for real: folder links that lead
// back up the walk, names that only look like shortcuts, and targets on
// drives whose rows the default options never list. The linked trees are
// made on the Unix side by CMake (Wine shows Unix symbolic links as folders).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RecordingScanView.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "scan/ScanEngine.h"
#include "scan/Win32ScanFileSystem.h"

namespace {

using Strings = std::vector<std::string>;

class HostileTree : public ::testing::Test {
protected:
    // Rows, as paths relative to folder, in the order listed.
    Strings Scan(const std::string& folder, bool ignoreRemovable = false, bool displayAll = true)
    {
        view.options = {folder, ignoreRemovable, displayAll};
        const DWORD start = ::GetTickCount();
        engine.OnScan();
        elapsedMs = ::GetTickCount() - start;
        Strings rows;
        for (const wintest::CRecordingScanView::Row& row : view.Rows())
            rows.push_back(row.item.substr(folder.size() + 1));
        return rows;
    }

    static Strings Sorted(Strings rows)
    {
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    std::string Tree(const char* name) const
    {
        return wintest::UnixToWindows(wintest::Environment("VELTMOR_HOSTILE_TREES")) + "\\" + name;
    }

    scan::CWin32ScanFileSystem fileSystem{NULL};
    wintest::CRecordingScanView view;
    scan::CScanEngine engine{fileSystem, view};
    DWORD elapsedMs = 0;
};

TEST_F(HostileTree, FolderLinksBackUpTheWalkEndQuicklyAndOthersAreWalked)
{
    ASSERT_FALSE(wintest::Environment("VELTMOR_HOSTILE_TREES").empty());
    // Three links to itself: without the ancestor test, 3^n paths until
    // the paths pass 259 characters.
    EXPECT_EQ(Scan(Tree("self")), Strings{"a.lnk"});
    EXPECT_LT(elapsedMs, 1000u);

    // X and Y link to each other; Z holds a link to X, which is no ancestor
    // of Z and so is walked, X's link to Y with it.
    EXPECT_EQ(Sorted(Scan(Tree("mutual"))),
              (Strings{"X\\toY\\y.lnk", "X\\x.lnk", "Y\\toX\\x.lnk", "Y\\y.lnk", "Z\\sibling\\toY\\y.lnk",
                       "Z\\sibling\\x.lnk"}));
    EXPECT_LT(elapsedMs, 1000u);
}

TEST_F(HostileTree, OnlyNamesEndingInTheExtensionAreShortcuts)
{
    // "foo.lnkx" matches "*.lnk" through its short name. A folder named
    // like a shortcut is still read (and listed) as one, then walked.
    EXPECT_EQ(Sorted(Scan(Tree("lookalike"))), (Strings{"Tools.lnk", "Tools.lnk\\inner.lnk", "real.lnk"}));
}

TEST_F(HostileTree, DefaultOptionsNeverTestTargetsOnCdRomOrNetworkDrives)
{
    wintest::CTempFolder menu("ht");
    for (const char* target : {"R:\\gone.exe", "S:\\gone.exe", "C:\\veltmor-gone.exe"})
        ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcut(menu / (std::string(1, target[0]) + ".lnk"), target));
    const std::string folder = menu.Path().substr(0, menu.Path().size() - 1);

    EXPECT_EQ(Scan(folder, true, false), Strings{"C.lnk"});
    EXPECT_EQ(engine.SkippedPresenceTests(), 2u);
    EXPECT_EQ(Sorted(Scan(folder, false, false)), (Strings{"C.lnk", "R.lnk", "S.lnk"}));
    EXPECT_EQ(engine.SkippedPresenceTests(), 0u);
}

}  // namespace

// Code page 932 (run with LC_ALL=ja_JP.UTF-8): "ソ" is 0x83 0x5C, its second
// byte the backslash's. A scan-from path of 259 bytes ending in it has no
// room for the backslash the walk appends; read by byte it seemed to end
// in one, and the append wrote past the 260-byte buffer.
TEST(CodePage932, APathEndingInATwoByteCharacterIsReadByCharacter)
{
    if (::GetACP() != 932)
        GTEST_SKIP() << "runs in code page 932 only (this is " << ::GetACP() << ")";
    wintest::CTempFolder temp("cp");
    wchar_t wide[MAX_PATH] = {};
    ASSERT_GT(::MultiByteToWideChar(CP_ACP, 0, temp.Path().c_str(), -1, wide, MAX_PATH), 0);
    std::wstring folder = wide;
    folder.pop_back();  // no trailing backslash
    const std::wstring so = L"\x30BD";
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\" + so).c_str(), NULL));
    ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcut(temp.Path() + "\x83\x5C\\a.lnk", "C:\\gone.exe"));
    // Folders of "d" until one more ending in "ソ" makes 259 bytes.
    std::string ansi = temp.Path().substr(0, temp.Path().size() - 1);
    while (ansi.size() + 1 + 100 + 2 < 259) {
        folder += L"\\" + std::wstring(100, L'd');
        ansi += "\\" + std::string(100, 'd');
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), NULL));
    }
    const std::size_t last = 259 - ansi.size() - 1 - 2;
    folder += L"\\" + std::wstring(last, L'd') + so;
    ansi += "\\" + std::string(last, 'd') + "\x83\x5C";
    ASSERT_EQ(ansi.size(), 259u);
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), NULL));

    struct Passed : wintest::CRecordingScanView {
        std::vector<std::string> over;
        void NotScanned(const std::string& path, scan::NotScannedReason) override { over.push_back(path); }
    } view;
    scan::CWin32ScanFileSystem fileSystem(NULL);
    scan::CScanEngine engine(fileSystem, view);
    view.options = {ansi, false, true};
    engine.OnScan();
    EXPECT_TRUE(view.Rows().empty());
    EXPECT_EQ(view.over, Strings{ansi});

    // A short one is walked, its backslash appended after the character.
    const std::string shortFolder = temp.Path() + "\x83\x5C";
    view.options = {shortFolder, false, true};
    engine.OnScan();
    ASSERT_EQ(view.Rows().size(), 1u);
    EXPECT_EQ(view.Rows()[0].item, shortFolder + "\\a.lnk");
}
