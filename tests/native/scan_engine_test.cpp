// The scan engine against the in-memory platform: walk order, the Scan
// command's steps, the display filter, ownership of the rows' path copies,
// the 259/260-character limits and the exception path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FakeScanPlatform.h"
#include "scan/ScanEngine.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* p);
extern "C" int __sanitizer_get_ownership(const volatile void* p);
#define VELTMOR_HEAP_CHECKS 1
#else
#define VELTMOR_HEAP_CHECKS 0
#endif

namespace {

using Strings = std::vector<std::string>;

#define REQUIRE_HEAP_CHECKS()                                   \
    do {                                                        \
        if (!VELTMOR_HEAP_CHECKS)                               \
            GTEST_SKIP() << "needs AddressSanitizer to see the heap"; \
    } while (false)

const char* AsText(std::intptr_t data)
{
    return reinterpret_cast<const char*>(data);
}

// What the reader would give for one shortcut.
scan::ShortcutRead Read(const std::string& target, scan::Verdict verdict)
{
    scan::ShortcutRead read;
    read.target.text = target;
    read.presence.verdict = verdict;
    return read;
}

// Freed blocks stay poisoned in AddressSanitizer's quarantine, so a row's
// copy can be seen to be gone right after the list deleted the row.
bool IsFreed(std::intptr_t data)
{
#if VELTMOR_HEAP_CHECKS
    return __asan_address_is_poisoned(AsText(data)) != 0;
#else
    (void)data;
    return false;
#endif
}

// A live heap block of exactly the path's length plus the terminator.
::testing::AssertionResult IsOwnCopyOf(std::intptr_t data, const std::string& path)
{
    if (data == 0)
        return ::testing::AssertionFailure() << "no item data for " << path;
#if VELTMOR_HEAP_CHECKS
    const void* block = AsText(data);
    if (!__sanitizer_get_ownership(block))
        return ::testing::AssertionFailure() << "item data of " << path << " is not a heap block";
    if (__asan_address_is_poisoned(block))
        return ::testing::AssertionFailure() << "item data of " << path << " was freed";
    const std::size_t size = __sanitizer_get_allocated_size(block);
    if (size != path.size() + 1)
        return ::testing::AssertionFailure() << "copy of " << path << " is " << size << " bytes";
#endif
    if (path != AsText(data))
        return ::testing::AssertionFailure() << "copy holds \"" << AsText(data) << "\", row shows " << path;
    return ::testing::AssertionSuccess();
}

// "C:\ddd...\ddd" of exactly length characters, never ending in a backslash;
// components stay under the platform's 255-character name limit.
std::string PathOfLength(std::size_t length)
{
    std::string path = "C:\\";
    std::size_t run = 0;
    while (path.size() < length) {
        if (run == 100 && path.size() + 1 < length) {
            path += '\\';
            run = 0;
        } else {
            path += 'd';
            ++run;
        }
    }
    return path;
}

class ScanTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(fs.OpenSearches(), 0u) << "every folder search is closed again";
        EXPECT_EQ(view.WaitCursorDepth(), 0) << "the wait cursor is ended";
        EXPECT_EQ(view.EnabledChildren(), view.ChildCount()) << "the dialog is usable again";
    }

    Strings Scan(const std::string& from, bool ignoreRemovable = false, bool displayAll = true)
    {
        view.controls.scanFrom = from;
        view.controls.ignoreRemovable = ignoreRemovable;
        view.controls.displayAll = displayAll;
        engine.OnScan();
        return view.Items();
    }

    std::vector<std::intptr_t> RowData() const
    {
        std::vector<std::intptr_t> data;
        for (const fake::FakeRow& row : view.Rows())
            data.push_back(row.data);
        return data;
    }

    fake::CallLog log;
    fake::FakeFileSystem fs{log};
    fake::FakeScanView view{log, 3};
    scan::CScanEngine engine{fs, view};
};

// ---------------------------------------------------------------- walk order

using ScanWalk = ScanTest;

TEST_F(ScanWalk, LinksThenPifsThenSubFolders)
{
    // Enumerated in the opposite order on purpose: the passes, not the
    // enumeration, put .lnk first.
    fs.AddShortcut("C:\\M\\Sub\\c.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\b.pif", "C:\\x");
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");

    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\a.lnk", "C:\\M\\b.pif", "C:\\M\\Sub\\c.lnk"}));
}

TEST_F(ScanWalk, KeepsEnumerationOrderWithinEachGroupDepthFirst)
{
    fs.AddFolder("C:\\M\\Zeta");
    fs.AddFile("C:\\M\\b.pif");
    fs.AddFile("C:\\M\\z.lnk");
    fs.AddFolder("C:\\M\\Alpha");
    fs.AddFile("C:\\M\\a.lnk");
    fs.AddFile("C:\\M\\C.PIF");
    fs.AddFile("C:\\M\\Readme.txt");
    fs.AddFile("C:\\M\\Notes.LNK");
    fs.AddFile("C:\\M\\Zeta\\y.lnk");
    fs.AddFile("C:\\M\\Zeta\\Deep\\d.pif");
    fs.AddFile("C:\\M\\Zeta\\x.pif");
    fs.AddFile("C:\\M\\Alpha\\w.lnk");

    EXPECT_EQ(Scan("C:\\M"), (Strings{
                                 "C:\\M\\z.lnk",
                                 "C:\\M\\a.lnk",
                                 "C:\\M\\Notes.LNK",
                                 "C:\\M\\b.pif",
                                 "C:\\M\\C.PIF",
                                 "C:\\M\\Zeta\\y.lnk",
                                 "C:\\M\\Zeta\\x.pif",
                                 "C:\\M\\Zeta\\Deep\\d.pif",
                                 "C:\\M\\Alpha\\w.lnk",
                             }));
}

TEST_F(ScanWalk, DescendsIntoEachSubFolderBeforeFetchingTheNextEntry)
{
    fs.AddFolder("C:\\M\\A");
    fs.AddFolder("C:\\M\\B");
    Scan("C:\\M");

    const Strings expected = {
        "FindFirst(C:\\M\\*.lnk)",
        "FindFirst(C:\\M\\*.pif)",
        "FindFirst(C:\\M\\*.*)",
        "FindNext(C:\\M\\*.*)",  // ..
        "FindNext(C:\\M\\*.*)",  // A
        "FindFirst(C:\\M\\A\\*.lnk)",
        "FindFirst(C:\\M\\A\\*.pif)",
        "FindFirst(C:\\M\\A\\*.*)",
        "FindNext(C:\\M\\A\\*.*)",
        "FindNext(C:\\M\\A\\*.*)",
        "FindClose(C:\\M\\A\\*.*)",
        "FindNext(C:\\M\\*.*)",  // B
        "FindFirst(C:\\M\\B\\*.lnk)",
        "FindFirst(C:\\M\\B\\*.pif)",
        "FindFirst(C:\\M\\B\\*.*)",
        "FindNext(C:\\M\\B\\*.*)",
        "FindNext(C:\\M\\B\\*.*)",
        "FindClose(C:\\M\\B\\*.*)",
        "FindNext(C:\\M\\*.*)",
        "FindClose(C:\\M\\*.*)",
    };
    EXPECT_EQ(log.Only({"FindFirst", "FindNext", "FindClose"}), expected);
}

TEST_F(ScanWalk, SkipsOnlyTheExactDotAndDotDotNames)
{
    fs.AddShortcut("C:\\M\\...\\in.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\.x\\in.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\..a\\in.lnk", "C:\\x");

    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\...\\in.lnk", "C:\\M\\.x\\in.lnk", "C:\\M\\..a\\in.lnk"}));
    for (const std::string& call : log.Only({"FindFirst"})) {
        EXPECT_EQ(call.find("\\.\\"), std::string::npos) << call;
        EXPECT_EQ(call.find("\\..\\"), std::string::npos) << call;
    }
}

TEST_F(ScanWalk, FolderNamedLikeAShortcutIsReadThenWalked)
{
    fs.AddShortcut("C:\\M\\Tools.lnk\\inner.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\Old.PIF\\inner.pif", "C:\\x");

    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\Tools.lnk", "C:\\M\\Old.PIF", "C:\\M\\Tools.lnk\\inner.lnk",
                                      "C:\\M\\Old.PIF\\inner.pif"}));
    const fake::FakeRow& tools = view.Rows()[0];
    EXPECT_EQ(tools.value, "") << "the reader cannot load a folder";
    EXPECT_EQ(tools.image, 0);
}

TEST_F(ScanWalk, WalksHiddenAndSystemFoldersButNoFiles)
{
    fs.AddFolder("C:\\M\\Hidden", fake::kAttributeHidden | fake::kAttributeSystem);
    fs.AddShortcut("C:\\M\\Hidden\\h.lnk", "C:\\x");
    fs.AddFile("C:\\M\\notes.txt");
    fs.AddShortcut("C:\\M\\file.lnk", "C:\\x");

    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\file.lnk", "C:\\M\\Hidden\\h.lnk"}));
    for (const std::string& call : log.Only({"FindFirst"})) {
        EXPECT_EQ(call.find("notes.txt\\"), std::string::npos) << call;
        EXPECT_EQ(call.find("file.lnk\\"), std::string::npos) << call;
    }
}

TEST_F(ScanWalk, MatchesPatternsInAnyCaseAndNothingElse)
{
    fs.AddShortcut("C:\\M\\Upper.LnK", "C:\\x");
    fs.AddShortcut("C:\\M\\Old.PiF", "C:\\x");
    fs.AddFile("C:\\M\\a.lnk.bak");
    fs.AddFile("C:\\M\\lnk");
    fs.AddFile("C:\\M\\pif.txt");

    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\Upper.LnK", "C:\\M\\Old.PiF"}));
    EXPECT_EQ(log.Only({"ResolveShortcut"}),
              (Strings{"ResolveShortcut(C:\\M\\Upper.LnK)", "ResolveShortcut(C:\\M\\Old.PiF)"}));
}

TEST_F(ScanWalk, TakesTheShortcutPatternFromTheStringTable)
{
    fs.SetLinkPattern("*.url");
    fs.AddFile("C:\\M\\a.lnk");
    fs.AddFile("C:\\M\\site.url");

    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\site.url"}));
    EXPECT_EQ(log.Only({"FindFirst"}),
              (Strings{"FindFirst(C:\\M\\*.url)", "FindFirst(C:\\M\\*.pif)", "FindFirst(C:\\M\\*.*)"}));
}

TEST_F(ScanWalk, UnreadableFolderAddsNothingAndTheWalkGoesOn)
{
    fs.AddShortcut("C:\\M\\Locked\\x.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\Open\\y.lnk", "C:\\x");
    fs.MakeUnreadable("C:\\M\\Locked");

    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\Open\\y.lnk"}));
}

TEST_F(ScanWalk, EmptyPathStaysEmptyAndSearchesTheCurrentFolder)
{
    fs.AddShortcut("a.lnk", "C:\\x");
    fs.AddShortcut("Sub\\c.lnk", "C:\\x");

    EXPECT_EQ(Scan(""), (Strings{"a.lnk", "Sub\\c.lnk"}));
    const Strings searches = log.Only({"FindFirst"});
    ASSERT_GE(searches.size(), 3u);
    EXPECT_EQ(Strings(searches.begin(), searches.begin() + 3),
              (Strings{"FindFirst(*.lnk)", "FindFirst(*.pif)", "FindFirst(*.*)"}));
}

TEST_F(ScanWalk, TrailingBackslashOrNoneWalkTheSameTree)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\S\\b.pif", "C:\\x");

    const Strings without = Scan("C:\\M");
    const Strings searchesWithout = log.Only({"FindFirst"});
    log.Clear();
    const Strings with = Scan("C:\\M\\");

    EXPECT_EQ(without, (Strings{"C:\\M\\a.lnk", "C:\\M\\S\\b.pif"}));
    EXPECT_EQ(with, without);
    EXPECT_EQ(log.Only({"FindFirst"}), searchesWithout);
}

TEST_F(ScanWalk, FolderLinksBackUpTheWalkAreNotEnteredAgainButOthersAre)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    for (const char* self : {"C:\\M\\self1", "C:\\M\\self2", "C:\\M\\self3"})
        fs.AddFolderLink(self, "C:\\M");
    fs.AddShortcut("C:\\M\\X\\x.lnk", "C:\\x");
    fs.AddFolderLink("C:\\M\\X\\toY", "C:\\M\\Y");
    fs.AddShortcut("C:\\M\\Y\\y.lnk", "C:\\x");
    fs.AddFolderLink("C:\\M\\Y\\toX", "C:\\M\\X");
    fs.AddFolderLink("C:\\M\\Z\\sibling", "C:\\M\\X");  // not an ancestor: walked

    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\a.lnk", "C:\\M\\X\\x.lnk", "C:\\M\\X\\toY\\y.lnk", "C:\\M\\Y\\y.lnk",
                                      "C:\\M\\Y\\toX\\x.lnk", "C:\\M\\Z\\sibling\\x.lnk",
                                      "C:\\M\\Z\\sibling\\toY\\y.lnk"}));

}

// ------------------------------------------------------ targets and presence

using ScanTargets = ScanTest;

TEST_F(ScanTargets, ColumnOneIsTheTargetAndTheImageItsPresence)
{
    fs.AddShortcut("C:\\M\\present.lnk", "C:\\Apps\\run.exe");
    fs.AddExisting("C:\\Apps\\run.exe");
    fs.AddShortcut("C:\\M\\missing.lnk", "C:\\Apps\\gone.exe");
    fs.AddFile("C:\\M\\damaged.lnk");
    fs.AddShortcut("C:\\M\\folder.lnk", "C:\\M\\Sub");
    fs.AddShortcut("C:\\M\\folder.pif", "C:\\M\\Sub");
    fs.AddFolder("C:\\M\\Sub");

    Scan("C:\\M");
    ASSERT_EQ(view.Rows().size(), 5u);
    struct Expected {
        const char* value;
        int image;
    };
    const Expected expected[] = {
        {"C:\\Apps\\run.exe", 1}, {"C:\\Apps\\gone.exe", 0}, {"", 0}, {"C:\\M\\Sub", 1}, {"C:\\M\\Sub", 1}};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(view.Rows()[i].item);
        EXPECT_EQ(view.Rows()[i].value, expected[i].value);
        EXPECT_EQ(view.Rows()[i].image, expected[i].image);
    }
}

TEST_F(ScanTargets, LinksAskTheLinkTestAndPifsThePifTest)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\T\\t.exe");
    fs.AddShortcut("C:\\M\\b.pif", "C:\\T\\t.exe");

    fs.AddExisting("C:\\T\\t.exe", fake::FakeFileSystem::SeenBy::LinkTestOnly);
    EXPECT_EQ(Scan("C:\\M", false, false), (Strings{"C:\\M\\b.pif"}));
    EXPECT_EQ(log.Only({"LinkTargetPresence", "PifTargetPresence"}),
              (Strings{"LinkTargetPresence(C:\\T\\t.exe)", "PifTargetPresence(C:\\T\\t.exe)"}));

    fake::CallLog otherLog;
    fake::FakeFileSystem otherFs(otherLog);
    fake::FakeScanView otherView(otherLog);
    scan::CScanEngine other(otherFs, otherView);
    otherFs.AddShortcut("C:\\M\\a.lnk", "C:\\T\\t.exe");
    otherFs.AddShortcut("C:\\M\\b.pif", "C:\\T\\t.exe");
    otherFs.AddExisting("C:\\T\\t.exe", fake::FakeFileSystem::SeenBy::PifTestOnly);
    otherView.controls = {"C:\\M", false, false};
    other.OnScan();
    EXPECT_EQ(otherView.Items(), (Strings{"C:\\M\\a.lnk"}));
}

// A test that fails without the system saying "not there" proves nothing:
// such a target is never listed as broken, and the view gets the verdict.
TEST_F(ScanTargets, AnUnverifiedTargetIsNeverListedAsBroken)
{
    fs.SetDriveType("C:\\", scan::kDriveFixed);
    fs.AddShortcut("C:\\M\\denied.lnk", "C:\\Locked\\run.exe");
    fs.AddShortcut("C:\\M\\denied.pif", "C:\\Locked\\run.exe");
    fs.AddUnverifiable("C:\\Locked\\run.exe", "Access is denied (error 5)");
    const struct {
        const char* options;
        bool ignoreRemovable, displayAll, listed;
    } cases[] = {{"defaults", true, false, false},
                 {"--include-removable", false, false, false},
                 {"Display All", true, true, true},
                 {"Display All, --include-removable", false, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        log.Clear();
        const Strings listed = Scan("C:\\M", c.ignoreRemovable, c.displayAll);
        EXPECT_EQ(log.Only({"LinkTargetPresence", "PifTargetPresence"}).size(), 2u) << "both were tested";
        EXPECT_EQ(listed.size(), c.listed ? 2u : 0u);
        for (const fake::FakeRow& row : view.Rows()) {
            SCOPED_TRACE(row.item);
            EXPECT_EQ(row.image, 1) << "listed as present";
            EXPECT_EQ(row.presence.verdict, scan::Verdict::Unverified);
            EXPECT_EQ(row.presence.detail, "Access is denied (error 5)");
        }
    }
}

// ------------------------------------------------------------ display filter

// One shortcut per kind of drive, present and missing, plus one the reader
// cannot read. The name says the drive and whether the target exists.
class DisplayFilter : public ScanTest {
protected:
    void SetUp() override
    {
        fs.SetDriveType("C:\\", scan::kDriveFixed);
        fs.SetDriveType("D:\\", fake::kDriveCdrom);
        fs.SetDriveType("E:\\", fake::kDriveRemovable);
        fs.SetDriveType("R:\\", fake::kDriveRamdisk);
        fs.SetDriveType("\\\\srv\\share", fake::kDriveRemote);
        Add("fixed_ok.lnk", "C:\\Apps\\ok.exe", true);
        Add("fixed_gone.lnk", "C:\\Apps\\gone.exe", false);
        Add("cd_ok.lnk", "D:\\Game\\run.exe", true);
        Add("cd_gone.lnk", "D:\\Game\\old.exe", false);
        Add("net_ok.lnk", "\\\\srv\\share\\tool.exe", true);
        Add("net_gone.lnk", "\\\\srv\\share\\lost.exe", false);
        Add("usb_ok.lnk", "E:\\x.exe", true);
        Add("usb_gone.lnk", "E:\\y.exe", false);
        Add("ram_gone.lnk", "R:\\tmp.exe", false);
        Add("noroot_gone.lnk", "Q:\\x.exe", false);
        fs.AddFile("C:\\M\\unreadable.lnk");
    }

    void Add(const char* name, const std::string& target, bool present)
    {
        fs.AddShortcut(std::string("C:\\M\\") + name, target);
        if (present)
            fs.AddExisting(target);
    }

    Strings Listed(bool ignoreRemovable, bool displayAll)
    {
        Strings names;
        for (const std::string& item : Scan("C:\\M", ignoreRemovable, displayAll))
            names.push_back(item.substr(std::strlen("C:\\M\\")));
        return names;
    }

    const Strings kEverything = {"fixed_ok.lnk", "fixed_gone.lnk", "cd_ok.lnk",    "cd_gone.lnk",
                                 "net_ok.lnk",   "net_gone.lnk",   "usb_ok.lnk",   "usb_gone.lnk",
                                 "ram_gone.lnk", "noroot_gone.lnk", "unreadable.lnk"};
};

TEST_F(DisplayFilter, DisplayAllListsEverythingWithEitherSettingOfIgnore)
{
    for (bool ignoreRemovable : {true, false}) {
        SCOPED_TRACE(ignoreRemovable ? "ignore removable on" : "ignore removable off");
        log.Clear();
        EXPECT_EQ(Listed(ignoreRemovable, true), kEverything);
        for (const fake::FakeRow& row : view.Rows())
            EXPECT_EQ(row.image, row.item.find("_ok") != std::string::npos ? 1 : 0) << row.item;
        EXPECT_TRUE(log.Only({"DriveType"}).empty()) << "the first step decides alone";
    }
}

TEST_F(DisplayFilter, BothOffListsEveryBrokenShortcutOnAnyDrive)
{
    EXPECT_EQ(Listed(false, false), (Strings{"fixed_gone.lnk", "cd_gone.lnk", "net_gone.lnk", "usb_gone.lnk",
                                             "ram_gone.lnk", "noroot_gone.lnk", "unreadable.lnk"}));
    EXPECT_TRUE(log.Only({"DriveType"}).empty()) << "the second step decides alone";
}

TEST_F(DisplayFilter, DefaultsListOnlyBrokenShortcutsIntoFixedDrives)
{
    EXPECT_EQ(Listed(true, false), (Strings{"fixed_gone.lnk"}));
    EXPECT_EQ(view.Rows()[0].image, 0);
    // Only the missing targets' drives are asked about: a present target is
    // never listed here, whatever its drive.
    EXPECT_EQ(log.Only({"DriveType"}), (Strings{
                                           "DriveType(C:\\)",
                                           "DriveType(D:\\)",
                                           "DriveType(\\\\srv\\share)",
                                           "DriveType(E:\\)",
                                           "DriveType(R:\\)",
                                           "DriveType(Q:\\)",
                                           "DriveType()",
                                       }));
}

TEST_F(DisplayFilter, EmptyTargetIsListedByItsRootsDriveType)
{
    fs.SetDriveType("", scan::kDriveFixed);
    EXPECT_EQ(Listed(true, false), (Strings{"fixed_gone.lnk", "unreadable.lnk"}));
    EXPECT_EQ(view.Rows()[1].value, "");
    EXPECT_EQ(view.Rows()[1].image, 0);
}

TEST_F(DisplayFilter, OverlongTargetIsCutBeforeItsRootIsTaken)
{
    engine.SetOptions({"", true, false});
    const std::string target = "C:\\" + std::string(400, 'x');
    EXPECT_TRUE(engine.ShouldList(false, target));
    EXPECT_FALSE(engine.ShouldList(true, target));
    EXPECT_EQ(log.Only({"DriveType"}), (Strings{"DriveType(C:\\)"}));
}

TEST_F(DisplayFilter, DefaultsTestOnlyTargetsOnFixedDrivesAndAskEachRootOnce)
{
    for (bool ignoreRemovable : {true, false}) {
        for (bool displayAll : {false, true}) {
            SCOPED_TRACE(std::to_string(ignoreRemovable) + std::to_string(displayAll));
            log.Clear();
            Listed(ignoreRemovable, displayAll);
            const Strings tests = log.Only({"LinkTargetPresence", "PifTargetPresence"});
            if (ignoreRemovable && !displayAll) {
                EXPECT_EQ(tests, (Strings{"LinkTargetPresence(C:\\Apps\\ok.exe)",
                                         "LinkTargetPresence(C:\\Apps\\gone.exe)"}));
                EXPECT_EQ(engine.SkippedPresenceTests(), kEverything.size() - 2);
                const Strings asked = log.Only({"DriveType"});
                EXPECT_EQ(std::set<std::string>(asked.begin(), asked.end()).size(), asked.size()) << "once per root";
            } else {
                EXPECT_EQ(tests.size(), kEverything.size());
                EXPECT_EQ(engine.SkippedPresenceTests(), 0u);
            }
        }
    }
}

// ------------------------------------------------------------- Scan command

using ScanCommand = ScanTest;

TEST_F(ScanCommand, RunsItsStepsInOrder)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    Scan("C:\\M");

    EXPECT_EQ(log.Only({"Disable", "Enable", "DeleteAllRows", "ReadControls", "BeginWaitCursor", "FindFirst",
                        "EndWaitCursor"}),
              (Strings{
                  "Disable(1001)",
                  "Disable(1002)",
                  "Disable(1003)",
                  "DeleteAllRows(0)",
                  "ReadControls(C:\\M)",
                  "BeginWaitCursor()",
                  "FindFirst(C:\\M\\*.lnk)",
                  "FindFirst(C:\\M\\*.pif)",
                  "FindFirst(C:\\M\\*.*)",
                  "Enable(1001)",
                  "Enable(1002)",
                  "Enable(1003)",
                  "EndWaitCursor()",
              }));
    const Strings& all = log.All();
    const auto read = std::find(all.begin(), all.end(), "ReadControls(C:\\M)");
    const auto backslash = std::find(all.begin(), all.end(), "AddBackslash(C:\\M)");
    const auto wait = std::find(all.begin(), all.end(), "BeginWaitCursor()");
    EXPECT_TRUE(read < backslash && backslash < wait) << "the backslash is added after reading, before waiting";
}

TEST_F(ScanCommand, DialogIsDisabledUnderTheWaitCursorWhileTheWalkRuns)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\S\\b.lnk", "C:\\x");
    int reads = 0;
    fs.onResolve = [&](const std::string&) {
        ++reads;
        EXPECT_EQ(view.EnabledChildren(), 0);
        EXPECT_EQ(view.WaitCursorDepth(), 1);
    };
    Scan("C:\\M");
    EXPECT_EQ(reads, 2);
}

TEST_F(ScanCommand, OptionsReadAtTheStartHoldForTheWholeWalk)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\b.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\S\\c.pif", "C:\\x");
    fs.AddExisting("C:\\x");
    engine.SetOptions({"C:\\Elsewhere", true, false});
    // The user cannot reach the check boxes during a walk; a control that
    // changes anyway must not change the filter halfway.
    fs.onResolve = [&](const std::string&) { view.controls.displayAll = false; };

    EXPECT_EQ(Scan("C:\\M", true, true), (Strings{"C:\\M\\a.lnk", "C:\\M\\b.lnk", "C:\\M\\S\\c.pif"}));
    EXPECT_EQ(log.Only({"ReadControls"}).size(), 1u);
    EXPECT_EQ(engine.Options().scanFrom, "C:\\M");
    EXPECT_TRUE(engine.Options().displayAll);
}

TEST_F(ScanCommand, ExceptionFromTheReaderRestoresTheDialogAndPropagates)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\Sub\\bad.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\Sub\\never.lnk", "C:\\x");
    fs.ThrowOnResolve("C:\\M\\Sub\\bad.lnk");
    view.controls = {"C:\\M", false, true};

    EXPECT_THROW(engine.OnScan(), fake::FakeFailure);
    EXPECT_EQ(view.Items(), (Strings{"C:\\M\\a.lnk"})) << "rows made before the failure stay";
    const Strings tail = log.Only({"Enable", "EndWaitCursor", "ResolveShortcut"});
    EXPECT_EQ(tail, (Strings{"ResolveShortcut(C:\\M\\a.lnk)", "ResolveShortcut(C:\\M\\Sub\\bad.lnk)",
                             "Enable(1001)", "Enable(1002)", "Enable(1003)", "EndWaitCursor()"}));
    // TearDown checks that the searches still open at the throw were closed.
}

TEST_F(ScanCommand, ExceptionWhileReadingTheControlsGivesThemBack)
{
    view.throwOnReadControls = true;
    EXPECT_THROW(engine.OnScan(), fake::FakeFailure);
    // TearDown checks that every control is enabled and no wait cursor is left.
}

TEST_F(ScanCommand, ExceptionFromTheListLeaksNoPathCopy)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    view.throwOnInsert = true;
    view.controls = {"C:\\M", false, true};

    EXPECT_THROW(engine.OnScan(), fake::FakeFailure);
    EXPECT_TRUE(view.Rows().empty());
    // LeakSanitizer reports the copy if the failed row kept it.
}

TEST_F(ScanCommand, ScanAgainReplacesTheRows)
{
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    Scan("C:\\M");
    fs.AddShortcut("C:\\M\\b.lnk", "C:\\x");
    EXPECT_EQ(Scan("C:\\M"), (Strings{"C:\\M\\a.lnk", "C:\\M\\b.lnk"}));
    EXPECT_EQ(log.Only({"DeleteAllRows"}), (Strings{"DeleteAllRows(0)", "DeleteAllRows(1)"}));
}

// -------------------------------------------------------- row path copies

using ResultRows = ScanTest;

TEST_F(ResultRows, EachRowOwnsADistinctCopyOfItsPath)
{
    REQUIRE_HEAP_CHECKS();
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\b.pif", "");
    fs.AddShortcut("C:\\M\\Sub\\a.lnk", "C:\\x");
    Scan("C:\\M");

    ASSERT_EQ(view.Rows().size(), 3u);
    std::set<std::intptr_t> distinct;
    for (const fake::FakeRow& row : view.Rows()) {
        EXPECT_TRUE(IsOwnCopyOf(row.data, row.item));
        distinct.insert(row.data);
    }
    EXPECT_EQ(distinct.size(), 3u);
}

TEST_F(ResultRows, RowIsAppendedInStepsWithACopyNotTheCallersBuffer)
{
    engine.SetOptions({"", false, true});
    std::string path = "C:\\M\\first.lnk";
    engine.AddResultRow(path, Read("C:\\t1", scan::Verdict::Present));
    path = "C:\\M\\second.lnk";
    engine.AddResultRow(path, Read("", scan::Verdict::Missing));
    path = "overwritten";

    ASSERT_EQ(view.Items(), (Strings{"C:\\M\\first.lnk", "C:\\M\\second.lnk"}));
    for (const fake::FakeRow& row : view.Rows()) {
        EXPECT_NE(AsText(row.data), path.c_str());
        EXPECT_TRUE(IsOwnCopyOf(row.data, row.item));
    }
    EXPECT_EQ(view.Rows()[0].value, "C:\\t1");
    EXPECT_EQ(view.Rows()[0].image, 1);
    EXPECT_EQ(view.Rows()[1].image, 0);
    EXPECT_EQ(log.Only({"InsertRow", "SetRowText", "SetRowData", "RepaintList"}),
              (Strings{"InsertRow(C:\\M\\first.lnk)", "SetRowText(0,1)", "SetRowData(0)", "RepaintList()",
                       "InsertRow(C:\\M\\second.lnk)", "SetRowText(1,1)", "SetRowData(1)", "RepaintList()"}));
}

TEST_F(ResultRows, ShortcutNotListedMakesNoRowAndNoCopy)
{
    engine.SetOptions({"", false, false});
    engine.AddResultRow("C:\\M\\fine.lnk", Read("C:\\x", scan::Verdict::Present));
    EXPECT_TRUE(view.Rows().empty());
    EXPECT_TRUE(view.OfferedData().empty());
    EXPECT_TRUE(log.Only({"InsertRow", "RepaintList"}).empty());
}

TEST_F(ResultRows, SecondScanFreesEveryCopyOnce)
{
    REQUIRE_HEAP_CHECKS();
    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\b.lnk", "C:\\x");
    fs.AddShortcut("C:\\M\\S\\c.pif", "C:\\x");
    Scan("C:\\M");
    const std::vector<std::intptr_t> first = RowData();

    Scan("C:\\M");
    for (std::intptr_t data : first)
        EXPECT_TRUE(IsFreed(data));
    for (const fake::FakeRow& row : view.Rows())
        EXPECT_TRUE(IsOwnCopyOf(row.data, row.item));
    // A second free of any of them would stop the run in AddressSanitizer.
}

TEST_F(ResultRows, DeletingRowsFreesOnlyTheirCopiesAsIndicesShift)
{
    REQUIRE_HEAP_CHECKS();
    for (const char* name : {"r0.lnk", "r1.lnk", "r2.lnk", "r3.lnk", "r4.lnk"})
        fs.AddShortcut(std::string("C:\\M\\") + name, "C:\\x");
    Scan("C:\\M");
    const std::vector<std::intptr_t> before = RowData();
    ASSERT_EQ(before.size(), 5u);

    view.DeleteRow(1);
    view.DeleteRow(2);  // was row 3 before row 1 went

    EXPECT_EQ(view.Items(), (Strings{"C:\\M\\r0.lnk", "C:\\M\\r2.lnk", "C:\\M\\r4.lnk"}));
    EXPECT_TRUE(IsFreed(before[1]));
    EXPECT_TRUE(IsFreed(before[3]));
    for (const fake::FakeRow& row : view.Rows())
        EXPECT_TRUE(IsOwnCopyOf(row.data, row.item));
}

TEST_F(ResultRows, DestroyingTheListFreesEveryCopy)
{
    REQUIRE_HEAP_CHECKS();
    fake::CallLog ownLog;
    fake::FakeFileSystem ownFs(ownLog);
    auto ownView = std::make_unique<fake::FakeScanView>(ownLog);
    scan::CScanEngine ownEngine(ownFs, *ownView);
    ownFs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    ownFs.AddShortcut("C:\\M\\b.lnk", "C:\\x");
    ownView->controls = {"C:\\M", false, true};
    ownEngine.OnScan();
    std::vector<std::intptr_t> data;
    for (const fake::FakeRow& row : ownView->Rows())
        data.push_back(row.data);
    ASSERT_EQ(data.size(), 2u);

    ownView.reset();
    for (std::intptr_t copy : data)
        EXPECT_TRUE(IsFreed(copy));
}

TEST_F(ResultRows, DeleteHandlerFreesAndClearsOrIgnoresNull)
{
    std::intptr_t none = 0;
    EXPECT_EQ(scan::CScanEngine::OnDeleteitemList(none), 0);
    EXPECT_EQ(none, 0);

    fs.AddShortcut("C:\\M\\a.lnk", "C:\\x");
    Scan("C:\\M");
    std::intptr_t copy = view.TakeRowData(0);
    const std::intptr_t original = copy;
    ASSERT_NE(copy, 0);
    EXPECT_EQ(scan::CScanEngine::OnDeleteitemList(copy), 0);
    EXPECT_EQ(copy, 0);
    if (VELTMOR_HEAP_CHECKS) {
        EXPECT_TRUE(IsFreed(original));
    }
}

TEST_F(ResultRows, RefusedRowOrItemDataLeavesNoCopyBehind)
{
    REQUIRE_HEAP_CHECKS();
    engine.SetOptions({"", false, true});

    view.refuseInsert = true;
    engine.AddResultRow("C:\\M\\a.lnk", Read("", scan::Verdict::Missing));
    EXPECT_TRUE(view.Rows().empty());
    EXPECT_TRUE(log.Only({"SetRowText", "SetRowData", "RepaintList"}).empty()) << "nothing for a row not made";

    view.refuseInsert = false;
    view.refuseData = true;
    engine.AddResultRow("C:\\M\\b.lnk", Read("", scan::Verdict::Missing));
    ASSERT_EQ(view.Rows().size(), 1u);
    EXPECT_EQ(view.Rows()[0].data, 0) << "a row without item data carries no copy";
    ASSERT_EQ(view.OfferedData().size(), 1u);
    EXPECT_TRUE(IsFreed(view.OfferedData()[0])) << "the copy the list refused is freed at once";
}

// ------------------------------------------------- 259/260-character limits

using PathLimits = ScanTest;

TEST_F(PathLimits, ScanFromOf258TakesTheBackslash)
{
    const std::string from = PathOfLength(258);
    fs.AddFolder(from);
    Scan(from);
    EXPECT_EQ(log.Only({"AddBackslash"}).front(), "AddBackslash(" + from + ")");
    EXPECT_TRUE(log.Only({"FindFirst"}).empty()) << "no pattern fits after 259 characters";
    EXPECT_TRUE(view.Rows().empty());
}

TEST_F(PathLimits, ScanFromThatCannotTakeTheBackslashIsNotWalked)
{
    for (std::size_t length : {259u, 260u, 261u, 300u, 1000u}) {
        SCOPED_TRACE(length);
        log.Clear();
        const std::string from = PathOfLength(length);
        Scan(from);
        EXPECT_TRUE(log.Only({"AddBackslash", "FindFirst", "ResolveShortcut"}).empty());
        EXPECT_TRUE(view.Rows().empty());
        EXPECT_EQ(log.Only({"BeginWaitCursor", "EndWaitCursor"}).size(), 2u) << "the command still completes";
    }
}

TEST_F(PathLimits, ScanFromOf259EndingInBackslashIsUsedAsIs)
{
    const std::string from = PathOfLength(258) + "\\";
    fs.AddFolder(from.substr(0, 258));
    Scan(from);
    EXPECT_EQ(log.Only({"AddBackslash"}).front(), "AddBackslash(" + from + ")");
    EXPECT_TRUE(log.Only({"FindFirst"}).empty());
    EXPECT_TRUE(view.Rows().empty());
}

TEST_F(PathLimits, JoinOf259IsListedAnd260IsSkippedWhole)
{
    const std::string folder = PathOfLength(253);  // 254 with its backslash
    const std::string f = folder + "\\";
    fs.AddShortcut(f + "x.lnk", "C:\\x");    // 259
    fs.AddShortcut(f + "xy.lnk", "C:\\x");   // 260
    fs.AddShortcut(f + "p.pif", "C:\\x");    // 259
    fs.AddShortcut(f + "pq.pif", "C:\\x");   // 260
    fs.AddFolder(f + "abcd");                // 258: walked, nothing fits inside
    fs.AddFolder(f + "abcde");               // 259: no room for its backslash
    fs.AddShortcut(f + "abcdef\\in.lnk", "C:\\x");  // 260: never entered

    EXPECT_EQ(Scan(folder), (Strings{f + "x.lnk", f + "p.pif"}));
    EXPECT_EQ(view.Rows()[0].item.size(), 259u);
    EXPECT_EQ(log.Only({"ResolveShortcut"}),
              (Strings{"ResolveShortcut(" + f + "x.lnk)", "ResolveShortcut(" + f + "p.pif)"}))
        << "a name that does not fit is not read under a cut-down path either";
    EXPECT_EQ(log.Only({"FindFirst"}),
              (Strings{"FindFirst(" + f + "*.lnk)", "FindFirst(" + f + "*.pif)", "FindFirst(" + f + "*.*)"}));
    for (const std::string& call : log.Only({"AddBackslash"}))
        EXPECT_EQ(call.find("abcde"), std::string::npos) << call;
}

TEST_F(PathLimits, ATwoByteCharacterEndingIn0x5CIsNoBackslash)
{
    // Code page 932: "ソ" is 0x83 0x5C. The fake's AddBackslash reads by
    // character and fails the test on a write past the 260-character buffer.
    fs.doubleByteCodePage = true;
    for (std::size_t length : {257u, 258u, 259u}) {
        SCOPED_TRACE(length);
        log.Clear();
        view.notScanned.clear();
        const std::string from = PathOfLength(length - 2) + "\x83\x5C";
        Scan(from);
        EXPECT_EQ(log.Only({"AddBackslash"}).size(), length < 259 ? 2u : 0u);
        EXPECT_EQ(view.notScanned, (Strings{"long:" + from + (length < 259 ? "\\" : "")}));
    }
    fs.AddShortcut("C:\\\x83\x5C\\a.lnk", "C:\\x");
    EXPECT_EQ(Scan("C:\\\x83\x5C"), (Strings{"C:\\\x83\x5C\\a.lnk"}));
}

TEST_F(PathLimits, WhatThePassesCannotReachIsNamed)
{
    const std::string folder = PathOfLength(253) + "\\";  // 254
    fs.AddShortcut(folder + "xy.lnk", "C:\\x");           // 260
    fs.AddFolder(folder + "abcde");                        // 259: no room for its backslash
    fs.MakeUnreadable("C:\\M\\locked");
    fs.AddFolder("C:\\M\\locked");
    Scan(folder.substr(0, 253));
    Scan("C:\\M");
    EXPECT_EQ(view.notScanned, (Strings{"long:" + folder + "xy.lnk", "long:" + folder + "abcde",
                                        "open:C:\\M\\locked\\"}));
}

TEST_F(PathLimits, PatternThatDoesNotFitIsNotSearched)
{
    const std::string folder = PathOfLength(254);  // 255 with its backslash
    fs.AddFile(folder + "\\a.lnk");
    fs.AddShortcut(folder + "\\s\\b.lnk", "C:\\x");

    EXPECT_TRUE(Scan(folder).empty());
    EXPECT_EQ(log.Only({"FindFirst"}), (Strings{"FindFirst(" + folder + "\\*.*)"}));
}

TEST_F(PathLimits, DeepestTreeListsEveryShortcutWhosePathFits)
{
    Strings expected;
    std::string folder = "C:\\T";
    while (folder.size() + 6 <= 262) {
        fs.AddShortcut(folder + "\\x.lnk", "C:\\x");
        if (folder.size() + 6 <= scan::kMaxPathLength)
            expected.push_back(folder + "\\x.lnk");
        folder += "\\a";
    }
    ASSERT_GT(expected.size(), 100u);

    EXPECT_EQ(Scan("C:\\T"), expected);
    for (const fake::FakeRow& row : view.Rows())
        EXPECT_LE(row.item.size(), scan::kMaxPathLength);
}

// ------------------------------------------------- the fake's own fidelity

TEST(FakeFileSystem, SearchesLikeThePlatform)
{
    EXPECT_TRUE(fake::MatchesPattern("*.lnk", "Tools.LNK"));
    EXPECT_TRUE(fake::MatchesPattern("*.*", "NoDot"));
    EXPECT_TRUE(fake::MatchesPattern("*.pif", ".pif"));
    EXPECT_FALSE(fake::MatchesPattern("*.lnk", "a.lnk.bak"));
    EXPECT_FALSE(fake::MatchesPattern("*.lnk", "lnk"));

    fake::CallLog log;
    fake::FakeFileSystem fs(log);
    const char* const cases[][2] = {{"C:\\Apps\\x.exe", "C:\\"},
                                    {"\\\\server\\share\\dir\\x.exe", "\\\\server\\share"},
                                    {"\\\\server\\share", "\\\\server\\share"},
                                    {"D:", "D:"},
                                    {"relative\\x.exe", ""},
                                    {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(fs.Root(c[0]), c[1]) << "from " << c[0];
}

}  // namespace
