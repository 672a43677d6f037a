// Whole scans: CScanEngine over the real file system and real shortcuts,
// into a results list kept in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "RecordingScanView.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "scan/LinkStructure.h"
#include "scan/ScanEngine.h"
#include "scan/ShortcutReader.h"
#include "scan/Win32ScanFileSystem.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using wintest::CRecordingScanView;
using wintest::CTempFolder;

bool EndsWithNoCase(const std::string& text, const char* tail)
{
    const std::size_t n = std::strlen(tail);
    return text.size() >= n && lstrcmpiA(text.c_str() + text.size() - n, tail) == 0;
}

// Depth first and pre-order: within every folder its own .lnk rows, then its
// .pif rows, then the rows of its sub-folders, each sub-folder's rows in one
// block. paths are relative to the scanned folder.
void ExpectDepthFirstPreOrder(const std::vector<std::string>& paths)
{
    std::set<std::string> folders{""};
    for (const std::string& path : paths)
        for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
            folders.insert(path.substr(0, at + 1));

    for (const std::string& folder : folders) {
        std::vector<std::size_t> inside;
        for (std::size_t i = 0; i < paths.size(); ++i)
            if (paths[i].compare(0, folder.size(), folder) == 0)
                inside.push_back(i);
        ASSERT_FALSE(inside.empty()) << folder;
        EXPECT_EQ(inside.size(), inside.back() - inside.front() + 1)
            << "rows under '" << folder << "' are not one block";

        int phase = 0;  // 0: .lnk, 1: .pif, 2: deeper
        for (std::size_t i : inside) {
            const std::string rest = paths[i].substr(folder.size());
            const int kind = rest.find('\\') != std::string::npos ? 2 : EndsWithNoCase(rest, ".pif") ? 1 : 0;
            EXPECT_GE(kind, phase) << "'" << paths[i] << "' comes too late in '" << folder << "'";
            phase = std::max(phase, kind);
        }
    }
}

class ScanTreeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(root.Path().empty()) << "no temporary folder"; }

    void Scan(bool ignoreRemovable, bool displayAll, const std::string& from)
    {
        view.options.scanFrom = from;
        view.options.ignoreRemovable = ignoreRemovable;
        view.options.displayAll = displayAll;
        engine.OnScan();
        EXPECT_EQ(0, view.WaitCursorDepth());
        CheckRows();
    }
    void Scan(bool ignoreRemovable, bool displayAll) { Scan(ignoreRemovable, displayAll, root.Path()); }

    // What every row must be whatever the options: a real file or folder as
    // its item (never a cut path), its own copy of that path as item data,
    // and the image telling whether its target is there.
    void CheckRows()
    {
        for (const CRecordingScanView::Row& row : view.Rows()) {
            SCOPED_TRACE(row.item);
            EXPECT_LE(row.item.size(), scan::kMaxPathLength);
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(row.item.c_str()));
            ASSERT_NE(0, row.data);
            EXPECT_STREQ(row.item.c_str(), reinterpret_cast<const char*>(row.data));
            EXPECT_NE(row.item.c_str(), reinterpret_cast<const char*>(row.data));
            const bool present = !row.value.empty() &&
                                 GetFileAttributesA(row.value.c_str()) != INVALID_FILE_ATTRIBUTES;
            EXPECT_EQ(present ? 1 : 0, row.image) << row.value;
        }
    }

    // The rows as "item | value | image" in list order, with the scanned
    // folder shown as "~\".
    std::vector<std::string> Listed() const
    {
        std::vector<std::string> listed;
        for (const CRecordingScanView::Row& row : view.Rows())
            listed.push_back(Relative(row.item) + " | " + Shown(row.value) + " | " +
                             std::to_string(row.image));
        return listed;
    }
    std::vector<std::string> ListedSorted() const
    {
        std::vector<std::string> listed = Listed();
        std::sort(listed.begin(), listed.end());
        return listed;
    }
    std::vector<std::string> Items() const
    {
        std::vector<std::string> items;
        for (const CRecordingScanView::Row& row : view.Rows())
            items.push_back(Relative(row.item));
        return items;
    }

    std::string Relative(const std::string& path) const
    {
        return path.compare(0, root.Path().size(), root.Path()) == 0 ? path.substr(root.Path().size()) : path;
    }
    std::string Shown(const std::string& path) const
    {
        return path.compare(0, root.Path().size(), root.Path()) == 0 ? "~\\" + Relative(path) : path;
    }

    void Link(const std::string& link, const std::string& target)
    {
        ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcut(link, target)) << link;
    }
    void Folder(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path; }
    void File(const std::string& path) { ASSERT_TRUE(wintest::MakeFile(path)) << path; }

    static std::vector<std::string> Sorted(std::vector<std::string> rows)
    {
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    CTempFolder root;
    scan::CWin32ScanFileSystem fileSystem{NULL};
    CRecordingScanView view;
    scan::CScanEngine engine{fileSystem, view};
};

TEST_F(ScanTreeTest, ShortcutsThenProgramFilesThenSubFolders)
{
    Folder(root / "Sub");
    Link(root / "Sub\\c.lnk", root / "c.exe");
    Link(root / "b.pif", root / "b.exe");
    Link(root / "a.lnk", root / "a.exe");

    Scan(true, false);
    EXPECT_EQ((std::vector<std::string>{"a.lnk", "b.pif", "Sub\\c.lnk"}), Items());
}

// A Start Menu in small: every kind of entry the scan meets.
class MixedTreeTest : public ScanTreeTest {
protected:
    void SetUp() override
    {
        ScanTreeTest::SetUp();
        Folder(root / "targets");
        File(root / "targets\\tool.exe");
        Link(root / "present.lnk", root / "targets\\tool.exe");
        File(root / "targets\\gone.exe");
        Link(root / "missing.lnk", root / "targets\\gone.exe");
        ASSERT_TRUE(DeleteFileA((root / "targets\\gone.exe").c_str()));
        Link(root / "folder.lnk", root / "targets");
        ASSERT_TRUE(wintest::WriteBytes(root / "damaged.lnk", std::string(300, '\x7f')));
        File(root / "empty.lnk");
        Folder(root / "Tools.lnk");
        Link(root / "Tools.lnk\\inner.lnk", root / "targets\\lost.exe");
        ASSERT_TRUE(wintest::WriteBytes(root / "old.pif", std::string(545, '\x01')));
        Link(root / "app.pif", root / "targets\\tool.exe");
        Folder(root / "Sub");
        Link(root / "Sub\\c.lnk", "C:\\veltmor-nowhere\\c.exe");
        Folder(root / "Sub\\Deeper");
        Link(root / "Sub\\Deeper\\d.lnk", root / "targets\\tool.exe");
    }

    // Each shortcut of the tree as the list shows it.
    const std::string present = "present.lnk | ~\\targets\\tool.exe | 1";
    const std::string missing = "missing.lnk | ~\\targets\\gone.exe | 0";
    const std::string folder = "folder.lnk | ~\\targets | 1";
    const std::string damaged = "damaged.lnk |  | 0";
    const std::string empty = "empty.lnk |  | 0";
    const std::string toolsFolder = "Tools.lnk |  | 0";
    const std::string inner = "Tools.lnk\\inner.lnk | ~\\targets\\lost.exe | 0";
    const std::string oldPif = "old.pif |  | 0";
    const std::string appPif = "app.pif | ~\\targets\\tool.exe | 1";
    const std::string c = "Sub\\c.lnk | C:\\veltmor-nowhere\\c.exe | 0";
    const std::string d = "Sub\\Deeper\\d.lnk | ~\\targets\\tool.exe | 1";
};

TEST_F(MixedTreeTest, DisplayAllListsEveryShortcutInWalkOrder)
{
    const std::vector<std::string> all =
        Sorted({present, missing, folder, damaged, empty, toolsFolder, inner, oldPif, appPif, c, d});
    for (bool ignoreRemovable : {true, false}) {
        SCOPED_TRACE(ignoreRemovable ? "ignore removable" : "include removable");
        Scan(ignoreRemovable, true);
        EXPECT_EQ(all, ListedSorted());
        ExpectDepthFirstPreOrder(Items());
    }
}

TEST_F(MixedTreeTest, BothOptionsOffListsEveryBrokenShortcut)
{
    Scan(false, false);
    EXPECT_EQ(Sorted({missing, damaged, empty, toolsFolder, inner, oldPif, c}), ListedSorted());
    ExpectDepthFirstPreOrder(Items());
}

TEST_F(MixedTreeTest, DefaultsListBrokenShortcutsOnFixedDrives)
{
    Scan(true, false);
    std::vector<std::string> expected{missing, inner, c};
    // Unresolvable shortcuts have the empty root, whose type is the
    // platform's; Wine 8 reports DRIVE_NO_ROOT_DIR, which hides them.
    if (GetDriveTypeA("") == DRIVE_FIXED)
        expected.insert(expected.end(), {damaged, empty, toolsFolder, oldPif});
    EXPECT_EQ(Sorted(expected), ListedSorted());
}

TEST_F(MixedTreeTest, FolderNamedLikeAShortcutIsARowAndIsWalked)
{
    Scan(false, false);
    const std::vector<std::string> items = Items();
    const auto self = std::find(items.begin(), items.end(), "Tools.lnk");
    const auto inside = std::find(items.begin(), items.end(), "Tools.lnk\\inner.lnk");
    ASSERT_NE(items.end(), self);
    ASSERT_NE(items.end(), inside);
    EXPECT_LT(self, inside);
}

TEST_F(MixedTreeTest, ScanFromPathForms)
{
    Scan(false, true);
    const std::vector<std::string> withBackslash = Listed();
    ASSERT_EQ(11u, withBackslash.size());

    std::string bare = root.Path();
    bare.pop_back();
    Scan(false, true, bare);
    EXPECT_EQ(withBackslash, Listed()) << "the list is rebuilt, not added to, and the same tree is walked";

    Scan(false, true, root / "present.lnk");
    EXPECT_EQ(0u, view.Rows().size()) << "a file is not a folder to scan";
    Scan(false, true, root / "no such folder");
    EXPECT_EQ(0u, view.Rows().size());
}

TEST_F(ScanTreeTest, RemovableAndNetworkTargetsAreIgnoredByDefault)
{
    // In the prefix of scripts/wine-run.sh, R: is a folder that Wine reports
    // as a CD-ROM drive and S: one it reports as a network drive; both take
    // files, so a present target can be put there.
    const std::string onCd = "R:\\present.exe";
    File(onCd);

    Link(root / "cd.lnk", "R:\\veltmor\\run.exe");
    Link(root / "cd present.lnk", "R:\\present.exe");
    Link(root / "net.lnk", "S:\\veltmor\\tool.exe");
    Link(root / "fixed.lnk", root / "gone.exe");
    const std::string cd = "cd.lnk | R:\\veltmor\\run.exe | 0";
    const std::string cdPresent = "cd present.lnk | R:\\present.exe | 1";
    const std::string net = "net.lnk | S:\\veltmor\\tool.exe | 0";
    const std::string fixed = "fixed.lnk | ~\\gone.exe | 0";

    Scan(true, false);
    EXPECT_EQ(std::vector<std::string>{fixed}, ListedSorted()) << "defaults";
    Scan(false, false);
    EXPECT_EQ(Sorted({cd, net, fixed}), ListedSorted()) << "removable drives included";
    Scan(true, true);
    EXPECT_EQ(Sorted({cd, cdPresent, net, fixed}), ListedSorted()) << "display all";

    DeleteFileA(onCd.c_str());
}

TEST_F(ScanTreeTest, SystemCodePageNames)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs code page 1252, the prefix has " << GetACP();
    Folder(root / "Caf\xe9");
    File(root / "Caf\xe9\\men\xfb.exe");
    Link(root / "Caf\xe9\\cr\xe8me.lnk", root / "Caf\xe9\\men\xfb.exe");
    Link(root / "Caf\xe9\\na\xefve.lnk", root / "Caf\xe9\\\xe9t\xe9.exe");

    Scan(true, true);
    EXPECT_EQ(Sorted({"Caf\xe9\\cr\xe8me.lnk | ~\\Caf\xe9\\men\xfb.exe | 1",
                      "Caf\xe9\\na\xefve.lnk | ~\\Caf\xe9\\\xe9t\xe9.exe | 0"}),
              ListedSorted());
}

TEST_F(ScanTreeTest, PathsOf259CharactersAreScannedLongerOnesSkipped)
{
    // Everything sits in one folder whose path is 200 characters long.
    const std::string base = root / std::string(200 - root.Path().size(), 'b');
    Folder(base);
    const std::string fits = base + "\\" + std::string(54, 'n') + ".lnk";
    const std::string tooLong = base + "\\" + std::string(55, 'm') + ".lnk";
    const std::string deepFolder = base + "\\" + std::string(58, 'f');
    ASSERT_EQ(259u, fits.size());
    ASSERT_EQ(260u, tooLong.size());
    ASSERT_EQ(259u, deepFolder.size());  // 260 with its backslash

    Link(fits, root / "gone.exe");
    // The ANSI calls cannot make the others: the wide ones can.
    ASSERT_TRUE(CopyFileW(wintest::LongPath(fits).c_str(), wintest::LongPath(tooLong).c_str(), FALSE))
        << GetLastError();
    ASSERT_TRUE(CreateDirectoryW(wintest::LongPath(deepFolder).c_str(), NULL)) << GetLastError();
    ASSERT_TRUE(CopyFileW(wintest::LongPath(fits).c_str(), wintest::LongPath(deepFolder + "\\x.lnk").c_str(),
                          FALSE))
        << GetLastError();

    Scan(false, true);
    ASSERT_EQ(1u, view.Rows().size()) << "only the 259-character shortcut: " << ::testing::PrintToString(Items());
    EXPECT_EQ(fits, view.Rows()[0].item);
}

// Damaged shortcut files never reach the shell's reader, which trusts the
// sizes written in them: an ID list item claiming 0xFFFF bytes in a 22-byte
// list made it read past its buffer and kill the process, a link-info size
// near 4 GB made it allocate that much. Every file gets its row, quickly.
TEST_F(ScanTreeTest, DamagedShortcutsScanWholeAndQuickly)
{
    const lnkkit::Variant& local = lnkkit::VariantNamed("local");
    lnkkit::Layout layout;
    const std::string whole = lnkkit::Build(local.parts, &layout);
    std::map<std::string, std::string> files{{"whole.lnk", whole}};
    std::string item = lnkkit::Build(lnkkit::VariantNamed("idlist").parts);  // one item, 22 bytes with its terminator
    lnkkit::Put16(item, 0x4C + 2, 0xFFFF);
    files["item.lnk"] = item;
    std::string huge = whole;
    lnkkit::Put32(huge, layout.linkInfo, 0xFFFFFFF0);
    files["huge.lnk"] = huge;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        char name[32];
        std::snprintf(name, sizeof name, "cut%03u.lnk", static_cast<unsigned>(cut));
        files[name] = whole.substr(0, cut);
    }
    for (const auto& file : files)
        ASSERT_TRUE(wintest::WriteBytes(root / file.first, file.second)) << file.first;

    const DWORD start = GetTickCount();
    Scan(false, true);
    const DWORD elapsed = GetTickCount() - start;

    ASSERT_EQ(files.size(), view.Rows().size()) << "every file has its row";
    for (const CRecordingScanView::Row& row : view.Rows()) {
        const std::string& bytes = files[Relative(row.item)];
        scan::MemoryByteSource source(bytes.data(), bytes.size());
        // Whole, or cut between two extra data blocks: the shell reads it.
        const bool sound = scan::CheckLinkStructure(source);
        EXPECT_EQ(sound ? local.target : "", row.value) << row.item;
    }
    EXPECT_LT(elapsed, 20u * files.size()) << elapsed << " ms for " << files.size() << " files";
    RecordProperty("ms_per_file", std::to_string(static_cast<double>(elapsed) / files.size()));
}

}  // namespace
