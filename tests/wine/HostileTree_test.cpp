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
