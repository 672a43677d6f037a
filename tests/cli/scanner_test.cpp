// veltmor-scan.exe under Wine, over real shortcuts, run as a management tool
// runs it: each format read back and compared with the rows the dialog's
// engine lists for the same tree in this process; names that CSV and JSON
// must protect; exit statuses; refused folders; the Start Menu by default;
// and a tree left exactly as it was found.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Scanner.h"
#include "cli/ScanArguments.h"
#include "OutputReaders.h"
#include "RecordingScanView.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "res/resource.h"
#include "scan/ScanEngine.h"
#include "scan/Win32ScanFileSystem.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using clitest::ChildResult;
using clitest::Record;
using Strings = std::vector<std::string>;

enum class Format { Text, Csv, Json };
const Format kFormats[] = {Format::Text, Format::Csv, Format::Json};

const char* Name(Format format)
{
    return format == Format::Text ? "text" : format == Format::Csv ? "csv" : "json";
}

using clitest::RunScanner;
using clitest::Scanner;

std::string AnsiToUtf8(const std::string& ansi)
{
    if (ansi.empty())
        return ansi;
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0],
                                    static_cast<int>(utf8.size()), NULL, NULL));
    return utf8;
}

// Output rows as records of shortcut, target, status, drive, reason,
// location and profile, whatever the format (text without its place
// columns gives "" for both); JSON's reason null becomes "" once it is
// checked that only present rows have it.
::testing::AssertionResult ReadRows(Format format, const std::string& out, std::vector<Record>& rows)
{
    rows.clear();
    std::string error;
    if (format == Format::Csv) {
        if (!clitest::ReadCsv(out, rows, error))
            return ::testing::AssertionFailure() << error << "\n" << out;
        if (rows.empty() ||
            rows[0] !=
                Record{"shortcut", "target", "status", "drive", "reason", "location", "profile", "detail", "kind"})
            return ::testing::AssertionFailure() << "no header line:\n" << out;
        rows.erase(rows.begin());
        // detail is empty unless a row is unverified; the kind follows the
        // shortcut's name.
        for (Record& row : rows) {
            const bool pif = row[0].size() > 4 && row[0].compare(row[0].size() - 4, 4, ".pif") == 0;
            if (row.size() != 9 || row[7].empty() != (row[2] != "unverified") || row[8] != (pif ? "pif" : "lnk"))
                return ::testing::AssertionFailure() << "detail or kind of a verified row:\n" << out;
            row.resize(7);
        }
    } else if (format == Format::Text) {
        clitest::TextTable table;
        if (!clitest::ReadTextTable(out, table, error))
            return ::testing::AssertionFailure() << error << "\n" << out;
        const Strings plain = {"Status", "Drive", "Reason", "Shortcut", "Target"};
        Strings placed = plain;
        placed.insert(placed.end(), {"Location", "Profile"});
        if (!table.rows.empty() && table.headings != plain && table.headings != placed)
            return ::testing::AssertionFailure() << "headings:\n" << out;
        for (Record cells : table.rows) {
            cells.resize(7);
            rows.push_back({cells[3], cells[4], cells[0], cells[1], cells[2], cells[5], cells[6]});
        }
    } else {
        nlohmann::json document;
        try {
            document = nlohmann::json::parse(out);
        } catch (const std::exception& e) {
            return ::testing::AssertionFailure() << e.what() << "\n" << out;
        }
        if (!document.is_array())
            return ::testing::AssertionFailure() << "not an array:\n" << out;
        for (const nlohmann::json& object : document) {
            const bool present = object.at("status") == "present";
            if (object.at("reason").is_null() != present)
                return ::testing::AssertionFailure() << "reason null for exactly the present rows: " << object;
            rows.push_back({object.at("shortcut"), object.at("target"), object.at("status"), object.at("drive"),
                            present ? "" : object.at("reason").get<std::string>(), object.at("location"),
                            object.at("profile")});
        }
    }
    return ::testing::AssertionSuccess();
}

// "shortcut | target | present" as the dialog shows a row; JSON's in UTF-8.
Strings Shown(const std::vector<Record>& rows)
{
    Strings shown;
    for (const Record& row : rows)
        shown.push_back(row[0] + " | " + row[1] + " | " + row[2]);
    return shown;
}

// One line on standard error, and nothing on standard output.
::testing::AssertionResult RefusedWithOneLine(const ChildResult& run)
{
    if (!run.started)
        return ::testing::AssertionFailure() << "the scanner did not start";
    if (run.status != 2)
        return ::testing::AssertionFailure() << "exit status " << run.status << ", stderr: " << run.err;
    if (!run.out.empty())
        return ::testing::AssertionFailure() << "output written: " << run.out;
    const std::size_t end = run.err.find("\r\n");
    if (end == std::string::npos || end + 2 != run.err.size() || run.err.compare(0, 14, "veltmor-scan: ") != 0)
        return ::testing::AssertionFailure() << "not one line of veltmor-scan's: [" << run.err << "]";
    return ::testing::AssertionSuccess();
}

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Scanner().empty()) << "VELTMOR_SCANNER is not set";
        ASSERT_FALSE(root.Path().empty()) << "no temporary folder";
    }

    // What the dialog's engine lists for these folders in this process, as
    // "shortcut | target | present"; utf8 converts the paths for JSON.
    static Strings EngineRows(const Strings& folders, bool ignoreRemovable, bool displayAll, bool utf8 = false)
    {
        scan::CWin32ScanFileSystem fileSystem(NULL);
        wintest::CRecordingScanView view;
        scan::CScanEngine engine(fileSystem, view);
        Strings rows;
        for (const std::string& folder : folders) {
            view.options.scanFrom = folder;
            view.options.ignoreRemovable = ignoreRemovable;
            view.options.displayAll = displayAll;
            engine.OnScan();
            for (const wintest::CRecordingScanView::Row& row : view.Rows()) {
                const std::string item = utf8 ? AnsiToUtf8(row.item) : row.item;
                const std::string value = utf8 ? AnsiToUtf8(row.value) : row.value;
                rows.push_back(item + " | " + value + " | " + (row.image == 1 ? "present" : "missing"));
            }
        }
        return rows;
    }

    void Link(const std::string& link, const std::string& target)
    {
        ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcut(link, target)) << link;
    }
    void Folder(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path; }
    void File(const std::string& path) { ASSERT_TRUE(wintest::MakeFile(path)) << path; }

    wintest::CTempFolder root{"vs"};
};

// The dialog tests' tree (OptionTree in tests/gui/main_dialog_gui_test.cpp):
// one shortcut of each kind the options tell apart.
class OptionTreeTest : public ScannerTest {
protected:
    void SetUp() override
    {
        ScannerTest::SetUp();
        Folder(root / "targets");
        ASSERT_TRUE(wintest::WriteBytes(root / "targets\\app.exe", "MZ"));
        Folder(root / "Sub");
        Link(root / "present.lnk", root / "targets\\app.exe");
        Link(root / "missing.lnk", "C:\\veltmor-nowhere\\gone.exe");
        Link(root / "cdrom.lnk", "R:\\Game\\run.exe");
        Link(root / "network.lnk", "S:\\share\\tool.exe");
        Link(root / "folder.lnk", root / "targets");
        Link(root / "Sub\\nested.lnk", "C:\\veltmor-nowhere\\deeper.exe");
    }

    // Drive and reason of each shortcut of the tree: R: is the prefix's
    // CD-ROM drive, S: its network drive, the rest is on the fixed C:.
    const std::map<std::string, Record> m_driveAndReason = {
        {"present.lnk", {"fixed", ""}},
        {"missing.lnk", {"fixed", "missing"}},
        {"cdrom.lnk", {"cd-rom", "unreachable-drive"}},
        {"network.lnk", {"network", "unreachable-drive"}},
        {"folder.lnk", {"fixed", ""}},
        {"Sub\\nested.lnk", {"fixed", "missing"}},
    };
};

TEST_F(OptionTreeTest, EachFormatGivesTheEnginesRowsUnderEachOption)
{
    struct Case {
        Strings options;
        bool ignoreRemovable, displayAll;
        std::size_t rows;  // as the dialog tests count them
    } cases[] = {
        {{}, true, false, 2},
        {{"--include-removable"}, false, false, 4},
        {{"--all"}, true, true, 6},
        {{"--all", "--include-removable"}, false, true, 6},
    };
    for (const Case& c : cases) {
        for (Format format : kFormats) {
            Strings args = c.options;
            args.insert(args.end(), {"--format", Name(format), root.Path()});
            SCOPED_TRACE(::testing::PrintToString(args));

            const ChildResult run = RunScanner(args);
            ASSERT_TRUE(run.started);
            EXPECT_EQ(1u, run.status) << "missing.lnk is listed under every option";
            EXPECT_EQ("", run.err);
            std::vector<Record> rows;
            ASSERT_TRUE(ReadRows(format, run.out, rows));

            const Strings expected = EngineRows({root.Path()}, c.ignoreRemovable, c.displayAll,
                                                format == Format::Json);
            EXPECT_EQ(c.rows, expected.size());
            EXPECT_EQ(expected, Shown(rows)) << "the same rows in the same order";
            for (const Record& row : rows) {
                const auto known = m_driveAndReason.find(row[0].substr(root.Path().size()));
                ASSERT_NE(m_driveAndReason.end(), known) << row[0];
                EXPECT_EQ(known->second, Record(row.begin() + 3, row.begin() + 5)) << row[0];
                EXPECT_EQ(format == Format::Text ? "" : "folder", row[5]);
            }
        }
    }
}

TEST_F(OptionTreeTest, ScanningLeavesEveryFileAsItWas)
{
    // A shortcut whose target has since been renamed: whatever the reader's
    // resolve finds stays in memory.
    ASSERT_TRUE(wintest::WriteBytes(root / "targets\\old.exe", "MZ"));
    Link(root / "moved.lnk", root / "targets\\old.exe");
    ASSERT_TRUE(MoveFileA((root / "targets\\old.exe").c_str(), (root / "targets\\new.exe").c_str()));

    const Strings files = {"present.lnk", "missing.lnk", "cdrom.lnk", "network.lnk",
                           "folder.lnk",  "moved.lnk",   "Sub\\nested.lnk"};
    std::map<std::string, std::string> bytes;
    std::map<std::string, FILETIME> times;
    for (const std::string& file : files) {
        ASSERT_TRUE(wintest::ReadBytes(root / file, bytes[file])) << file;
        ASSERT_TRUE(wintest::LastWriteTime(root / file, times[file])) << file;
    }
    Sleep(50);  // a write now would get a later time

    for (Format format : kFormats)
        EXPECT_EQ(1u, RunScanner({"--all", "--include-removable", "--format", Name(format), root.Path()}).status);

    for (const std::string& file : files) {
        std::string now;
        FILETIME time;
        ASSERT_TRUE(wintest::ReadBytes(root / file, now)) << file << " is gone";
        ASSERT_TRUE(wintest::LastWriteTime(root / file, time));
        EXPECT_EQ(bytes[file], now) << file;
        EXPECT_EQ(0, CompareFileTime(&times[file], &time)) << file;
    }
}

TEST_F(ScannerTest, CsvAndJsonKeepCommasQuotesLineBreaksAndNonAsciiNames)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs code page 1252, the prefix has " << GetACP();
    const std::string odd = wintest::Environment("VELTMOR_ODD_NAMES");
    ASSERT_FALSE(odd.empty()) << "VELTMOR_ODD_NAMES is not set";
    const std::string oddFolder = wintest::UnixToWindows(odd);

    // Commas, an apostrophe and Latin-1 letters in folder, file and target
    // names; the double quote and the line break come from the odd names.
    const std::string menu = root / "O'Brien, Caf\xe9";
    Folder(menu);
    File(menu + "\\tool, v2.exe");
    Link(menu + "\\Cr\xe8me, br\xfbl\xe9" "e.lnk", menu + "\\tool, v2.exe");
    Link(menu + "\\L'\xe9t\xe9.lnk", "C:\\veltmor-nowhere\\caf\xe9, menu.exe");

    const Strings folders = {root.Path(), oddFolder};
    for (Format format : {Format::Csv, Format::Json}) {
        SCOPED_TRACE(Name(format));
        Strings args = {"--all", "--format", Name(format)};
        args.insert(args.end(), folders.begin(), folders.end());
        const ChildResult run = RunScanner(args);
        EXPECT_EQ(1u, run.status) << run.err;
        std::vector<Record> rows;
        ASSERT_TRUE(ReadRows(format, run.out, rows));
        EXPECT_EQ(EngineRows(folders, true, true, true), Shown(rows));

        // The test is only worth its name if the awkward names came through.
        const auto has = [&](const std::string& text) {
            return std::any_of(rows.begin(), rows.end(), [&](const Record& row) {
                return row[0].find(text) != std::string::npos;
            });
        };
        EXPECT_TRUE(has("Say \"Hi\", then.lnk"));
        EXPECT_TRUE(has("line\nbreak.lnk"));
        for (const Record& row : rows) {
            if (row[0].find("Say \"Hi\"") != std::string::npos) {
                EXPECT_EQ((Record{"", "missing", "no-root", "unreadable", "folder", ""}),
                          Record(row.begin() + 1, row.end()));
            }
        }
        {
            // CSV and JSON alike: U+00E9 and friends as UTF-8, never a lone
            // system code page byte.
            EXPECT_TRUE(has("O'Brien, Caf\xc3\xa9\\Cr\xc3\xa8me, br\xc3\xbbl\xc3\xa9" "e.lnk"));
            EXPECT_EQ(std::string::npos, run.out.find("Caf\xe9"));
            for (const Record& row : rows) {
                if (row[0].find("L'\xc3\xa9t\xc3\xa9.lnk") != std::string::npos) {
                    EXPECT_EQ("C:\\veltmor-nowhere\\caf\xc3\xa9, menu.exe", row[1]);
                }
            }
        }
    }
}

TEST_F(ScannerTest, ExitStatusZeroOneAndTwo)
{
    Folder(root / "targets");
    File(root / "targets\\app.exe");
    Folder(root / "fine");
    Link(root / "fine\\app.lnk", root / "targets\\app.exe");
    Link(root / "fine\\folder.lnk", root / "targets");

    ChildResult run = RunScanner({root / "fine"});
    EXPECT_EQ(0u, run.status) << run.err;
    EXPECT_EQ("0 shortcuts listed, 0 missing\r\n", run.out);
    run = RunScanner({"--all", "--format", "csv", root / "fine"});
    EXPECT_EQ(0u, run.status) << "present rows are no reason to act";
    std::vector<Record> rows;
    ASSERT_TRUE(ReadRows(Format::Csv, run.out, rows));
    EXPECT_EQ(2u, rows.size());

    Link(root / "fine\\broken.lnk", root / "targets\\removed.exe");
    run = RunScanner({root / "fine"});
    EXPECT_EQ(1u, run.status) << run.err;
    EXPECT_EQ("", run.err);

    const struct {
        Strings args;
        std::string named;
    } refusals[] = {
        {{"--format", "xml", root / "fine"}, "\"xml\""},
        {{"--frobnicate"}, "\"--frobnicate\""},
        {{"--format"}, "--format"},
        {{root / "fine", root / "gone", root.Path()}, "\"" + root / "gone" + "\""},
        {{root / "fine\\app.lnk"}, "app.lnk\""},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(::testing::PrintToString(refusal.args));
        run = RunScanner(refusal.args);
        EXPECT_TRUE(RefusedWithOneLine(run));
        EXPECT_NE(std::string::npos, run.err.find(refusal.named)) << run.err;
    }
}

TEST_F(ScannerTest, FoldersPast259CharactersAreScannedWhole)
{
    // Real folders past the dialog's limit, made through the wide calls, one
    // of them holding a broken shortcut: the scanner reaches it by its whole
    // path (one that cut the path would walk some other folder).
    const std::string base = root / std::string(200 - root.Path().size(), 'b');
    Folder(base);
    const std::string longFolder = base + "\\" + std::string(100, 'l');
    ASSERT_EQ(301u, longFolder.size());
    ASSERT_TRUE(CreateDirectoryW(wintest::LongPath(longFolder).c_str(), NULL)) << GetLastError();
    Link(root / "broken.lnk", root / "gone.exe");
    ASSERT_TRUE(CopyFileW(wintest::LongPath(root / "broken.lnk").c_str(),
                          wintest::LongPath(longFolder + "\\broken.lnk").c_str(), FALSE))
        << GetLastError();
    for (const std::string& folder : {longFolder, longFolder + "\\"}) {
        const ChildResult run = RunScanner({"--all", "--format", "csv", folder});
        EXPECT_EQ(1u, run.status) << run.err;
        std::vector<Record> rows;
        ASSERT_TRUE(ReadRows(Format::Csv, run.out, rows));
        ASSERT_EQ(1u, rows.size()) << run.out;
        EXPECT_EQ(longFolder + "\\broken.lnk", rows[0][0]);
        EXPECT_EQ("missing", rows[0][2]);
    }
}

TEST_F(ScannerTest, WithoutAFolderTheStartMenuIsScanned)
{
    char startMenu[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(NULL, startMenu, CSIDL_STARTMENU, TRUE));
    const std::string ours = std::string(startMenu) + "\\Veltmor scanner test";
    Folder(ours);
    File(root / "app.exe");
    Link(ours + "\\works.lnk", root / "app.exe");
    Link(ours + "\\broken.lnk", root / "removed.exe");

    const ChildResult run = RunScanner({"--all", "--format", "csv"});
    const std::vector<std::string> expected = EngineRows({startMenu}, true, true);
    wintest::CTempFolder::RemoveTree(ours);

    EXPECT_EQ(1u, run.status) << run.err;
    std::vector<Record> rows;
    ASSERT_TRUE(ReadRows(Format::Csv, run.out, rows));
    EXPECT_EQ(expected, Shown(rows));
    const std::string broken = ours + "\\broken.lnk | " + root / "removed.exe" + " | missing";
    EXPECT_NE(expected.end(), std::find(expected.begin(), expected.end(), broken));
}

TEST_F(ScannerTest, HelpAndVersion)
{
    ChildResult run = RunScanner({"--version"});
    EXPECT_EQ(0u, run.status);
    EXPECT_EQ("1.1.1\r\n", run.out);
    EXPECT_EQ("", run.err);

    run = RunScanner({"--help"});
    EXPECT_EQ(0u, run.status);
    EXPECT_EQ(cli::ScanArguments::Usage(), run.out);
    EXPECT_EQ("", run.err);
}

TEST_F(ScannerTest, AReportSaysThisMachineThisAccountAndNowAndTheSummaryEndsTheOutput)
{
    Folder(root / "menu");
    Link(root / "menu\\broken.lnk", root / "removed.exe");
    const std::string file = root / "scan.json";
    SYSTEMTIME before;
    GetSystemTime(&before);
    const ChildResult run = RunScanner({"--format", "report", "--output", file, "--summary", root / "menu"});
    EXPECT_EQ(1u, run.status);
    EXPECT_EQ("", run.err) << "standard error stays empty for a console that reads it as failure";
    EXPECT_EQ(0u, run.out.find("veltmor-scan: 1 broken shortcut (missing 1), 0 unverified, 0 not scanned: " +
                               root / "menu\\broken.lnk\r\n"))
        << run.out;

    std::string text;
    ASSERT_TRUE(wintest::ReadBytes(file, text));
    const nlohmann::json report = nlohmann::json::parse(text);
    char machine[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof machine;
    ASSERT_TRUE(GetComputerNameA(machine, &size));
    EXPECT_EQ(machine, report["machine"].get<std::string>());
    char user[256];
    size = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &size));
    const std::string account = report["user"];
    EXPECT_EQ(user, account.substr(account.find('\\') + 1)) << account;
    char now[32];
    std::snprintf(now, sizeof now, "%04u-%02u-%02uT%02u", before.wYear, before.wMonth, before.wDay, before.wHour);
    EXPECT_EQ(0u, report["time"].get<std::string>().find(now)) << report["time"];
    ASSERT_EQ(1u, report["rows"].size());
    EXPECT_EQ("missing", report["rows"][0]["status"]);
}

TEST(ScannerResources, TheScannerTakesTheFilesTheDialogTakes)
{
    // The engine loads its shortcut pattern from the program's string table;
    // the scanner has its own, which must say what the dialog's says.
    const HMODULE scanner = LoadLibraryExA(Scanner().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, scanner) << Scanner() << ": " << GetLastError();
    char theirs[64] = "junk", ours[64] = "junk";
    const int n = LoadStringA(scanner, IDS_LINK_PATTERN, theirs, sizeof theirs);
    FreeLibrary(scanner);
    ASSERT_GT(n, 0);
    ASSERT_GT(LoadStringA(GetModuleHandleA(NULL), IDS_LINK_PATTERN, ours, sizeof ours), 0);
    EXPECT_STREQ(ours, theirs);
}

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    return SUCCEEDED(SHGetFolderPathA(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

// A REG_EXPAND_SZ value, its key made if need be.
bool SetText(HKEY root, const std::string& path, const char* name, const std::string& text)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExA(key, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                       static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

const std::string kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

TEST_F(ScannerTest, EveryLocationOfEveryProfileIsFoundOnce)
{
    // The current user's places, as the shell gives them; Quick Launch and
    // its pinned items are made here.
    const std::string profile = ShellFolder(CSIDL_PROFILE);
    const std::string quickLaunch = ShellFolder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer\\Quick Launch";
    const std::string pinned = quickLaunch + "\\User Pinned\\TaskBar";
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, pinned.c_str(), NULL));
    struct Expected {
        std::string shortcut, location, profile;
    };
    std::vector<Expected> expected = {
        {ShellFolder(CSIDL_STARTMENU) + "\\Veltmor sm.lnk", "start-menu", profile},
        {ShellFolder(CSIDL_COMMON_STARTMENU) + "\\Veltmor csm.lnk", "common-start-menu", ""},
        {ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\Veltmor dt.lnk", "desktop", profile},
        {ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Veltmor cdt.lnk", "common-desktop", ""},
        {pinned + "\\Veltmor ql.lnk", "pinned", profile},
    };

    // bob's registry is not loaded: the standard places below his profile,
    // whose path is stored with a variable. cy's is: her desktop is
    // redirected below her own profile; the standard one is not hers.
    const std::string bob = root / "Profiles\\bob", cy = root / "Profiles\\cy";
    const std::string bobSid = "S-1-5-21-7-7-7-1001", cySid = "S-1-5-21-7-7-7-1002";
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kProfileList + bobSid, "ProfileImagePath",
                        "%SystemDrive%" + bob.substr(2)));
    ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kProfileList + cySid, "ProfileImagePath", cy));
    const std::string shellFolders = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    ASSERT_TRUE(SetText(HKEY_USERS, cySid + shellFolders, "Desktop", "%USERPROFILE%\\Moved Desktop"));
    const std::string startMenu = "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
    const std::string pinnedBelow = "\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned";
    expected.insert(expected.end(), {
                                        {bob + startMenu + "\\bob sm.lnk", "start-menu", bob},
                                        {bob + "\\Desktop\\bob dt.lnk", "desktop", bob},
                                        {bob + pinnedBelow + "\\StartMenu\\bob ql.lnk", "pinned", bob},
                                        {cy + startMenu + "\\cy sm.lnk", "start-menu", cy},
                                        {cy + "\\Moved Desktop\\cy dt.lnk", "desktop", cy},
                                    });
    Strings made;
    for (const Expected& e : expected) {
        const std::string folder = e.shortcut.substr(0, e.shortcut.rfind('\\'));
        SHCreateDirectoryExA(NULL, folder.c_str(), NULL);
        Link(e.shortcut, "C:\\veltmor-nowhere\\gone.exe");
        made.push_back(e.shortcut);
    }
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, (cy + "\\Desktop").c_str(), NULL));
    Link(cy + "\\Desktop\\not hers.lnk", "C:\\veltmor-nowhere\\gone.exe");

    const ChildResult run = RunScanner({"--location", "all", "--all-profiles", "--format", "csv"});
    for (const std::string& file : made)
        DeleteFileA(file.c_str());
    wintest::CTempFolder::RemoveTree(quickLaunch);
    for (const std::string& sid : {bobSid, cySid}) {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, (kProfileList + sid).c_str());
        SHDeleteKeyA(HKEY_USERS, sid.c_str());
    }

    EXPECT_EQ(1u, run.status) << run.err;
    std::vector<Record> rows;
    ASSERT_TRUE(ReadRows(Format::Csv, run.out, rows));
    for (const Expected& e : expected) {
        const auto count = std::count_if(rows.begin(), rows.end(), [&](const Record& row) {
            return row[0] == e.shortcut && row[5] == e.location && row[6] == e.profile;
        });
        EXPECT_EQ(1, count) << e.shortcut << " as " << e.location << " of \"" << e.profile << "\"\n" << run.out;
    }
    for (const Record& row : rows)
        EXPECT_EQ(std::string::npos, row[0].find("not hers")) << "cy's desktop is redirected";
    // The current user is also in ProfileList: still one row each.
    EXPECT_EQ(expected.size(), rows.size()) << run.out;
    EXPECT_EQ("veltmor-scan: left out: quick-launch of profile \"" + cy + "\" (no such folder: \"" + cy +
                  "\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\")\r\n",
              run.err);
}

TEST_F(ScannerTest, ShortcutsWithoutATargetSayWhy)
{
    // Wine opens the builder's advertised shortcut and reports its darwin
    // identifier (GetFlags gives SLDF_HAS_DARWINID), and has no file path
    // for an item of My Computer; a damaged file and a folder named like a
    // shortcut do not load.
    const auto write = [&](const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(wintest::WriteBytes(root / name, bytes)) << name;
    };
    write("advertised.lnk", lnkkit::Build(lnkkit::VariantNamed("advertised").parts));
    write("computer.lnk", lnkkit::Build(lnkkit::VariantNamed("idlist").parts));
    const std::string local = lnkkit::Build(lnkkit::VariantNamed("local").parts);
    write("damaged.lnk", local.substr(0, local.size() / 2));
    write("missing.lnk", local);
    Folder(root / "Tools.lnk");

    const ChildResult run = RunScanner({"--all", "--format", "csv", root.Path()});
    EXPECT_EQ(1u, run.status) << run.err;
    std::vector<Record> rows;
    ASSERT_TRUE(ReadRows(Format::Csv, run.out, rows));
    std::map<std::string, std::string> reasons;
    for (const Record& row : rows)
        reasons[row[0].substr(root.Path().size())] = row[4];
    // The builder's descriptor names no product the installer can parse.
    EXPECT_EQ((std::map<std::string, std::string>{{"advertised.lnk", "unverified"},
                                                  {"computer.lnk", "no-file-target"},
                                                  {"damaged.lnk", "unreadable"},
                                                  {"missing.lnk", "missing"},
                                                  {"Tools.lnk", "unreadable"}}),
              reasons);
    // The installer's answer is the scanner's own: the dialog, which never
    // asks it, lists the advertised shortcut as it always has.
    Strings shown = Shown(rows);
    for (std::string& row : shown)
        if (row.find("advertised.lnk") != std::string::npos)
            row.replace(row.rfind("unverified"), 10, "missing");
    EXPECT_EQ(EngineRows({root.Path()}, true, true), shown) << "the dialog's rows, status and order";
}

TEST_F(ScannerTest, WhatCouldNotBeScannedIsNamedAndCounted)
{
    // A folder that Wine lists but cannot open. (A path of 260 characters
    // and more is scanned whole: see FoldersPast259CharactersAreScannedWhole.)
    Link(root / "broken.lnk", root / "gone.exe");
    const std::string locked = wintest::Environment("VELTMOR_UNOPENABLE");
    ASSERT_FALSE(locked.empty()) << "VELTMOR_UNOPENABLE is not set";
    const std::string lockedFolder = wintest::UnixToWindows(locked);

    const ChildResult run = RunScanner({root.Path(), lockedFolder});
    EXPECT_EQ(1u, run.status) << "broken.lnk decides it, as before";
    EXPECT_NE(std::string::npos, run.err.find("veltmor-scan: not scanned (cannot open folder): " + lockedFolder))
        << run.err;
    clitest::TextTable table;
    std::string error;
    ASSERT_TRUE(clitest::ReadTextTable(run.out, table, error)) << error;
    EXPECT_EQ("1 shortcut listed, 1 missing, 1 not scanned", table.countLine);
}

}  // namespace
