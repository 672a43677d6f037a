// Names in every script and paths past 260 characters, under Wine, through
// veltmor-scan.exe and through the dialog's own file system: a working
// shortcut is never called broken, a broken one is found whatever script
// its target is in (Wine's shell gives such a path with '?' for each
// character the code page lacks; the ID list spells it), a look-alike name
// never reaches another file, and the quarantine moves exactly the broken
// shortcuts and gives every file back byte for byte. Run in code page 1252
// and again in 932. Then what a shortcut recorded of its target's volume,
// and targets that are symbolic links.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Scanner.h"
#include "RecordingScanView.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "scan/ScanEngine.h"
#include "scan/Win32ScanFileSystem.h"
#include "scan/Win32Text.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using scan::Narrow;
using scan::Widen;

std::wstring Long(const std::wstring& path)
{
    return L"\\\\?\\" + path;
}

bool MakeFolders(const std::wstring& folder)
{
    const std::size_t slash = folder.rfind(L'\\');
    if (::CreateDirectoryW(Long(folder).c_str(), NULL) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    return slash != std::wstring::npos && MakeFolders(folder.substr(0, slash)) &&
           ::CreateDirectoryW(Long(folder).c_str(), NULL);
}

bool MakeFile(const std::wstring& path)
{
    if (!MakeFolders(path.substr(0, path.rfind(L'\\'))))
        return false;
    const HANDLE file = ::CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

// A real shortcut made by the shell through IShellLinkW, saved under a
// plain name, then moved to its own (any script, any length).
bool WriteShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& scratch)
{
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* file = nullptr;
    bool saved = SUCCEEDED(link->SetPath(target.c_str())) &&
                 SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                 SUCCEEDED(file->Save(scratch.c_str(), TRUE));
    if (file)
        file->Release();
    link->Release();
    return saved && MakeFolders(linkPath.substr(0, linkPath.rfind(L'\\'))) &&
           ::MoveFileW(scratch.c_str(), Long(linkPath).c_str());
}

std::string Bytes(const std::wstring& path)
{
    return wintest::WideBytes(Long(path));
}

struct Case {
    const wchar_t* shortcut;  // below the tree
    const wchar_t* target;    // below the tree
    bool targetExists;
    // False where Wine's shell gives a best-fit look-alike of the target
    // ("Ωmissing" as "Omissing"): no '?' tells it from a real name.
    bool readExactly = true;
};

// 40 characters a part: seven of them take a path past 300 characters.
const std::wstring kDeep = L"\\a123456789b123456789c123456789d12345678";
const std::wstring kDeepPath = kDeep + kDeep + kDeep + kDeep + kDeep + kDeep + kDeep;

const Case kCases[] = {
    {L"Работа.lnk", L"Программы\\app.exe", true},
    {L"Игры\\broken.lnk", L"Программы\\gone.exe", false},
    {L"Ωx.lnk", L"Ωmissing\\x.exe", false, false},    // best-fit spells it "Ox.lnk"
    {L"Ox.lnk", L"targets\\ok.exe", true},
    {L"日本語\\\U0001F600.lnk", L"\U0001F600dir\\app.exe", true},
    {L"tdot.\\in.lnk", L"targets\\gone.exe", false},  // a plain path drops the dot
    {L"tdot\\in.lnk", L"targets\\ok.exe", true},
    {L"deep\\x.lnk", L"targets\\ok.exe", true},
    {L"deep\\y.lnk", L"targets\\gone2.exe", false},
    // Names the dialog's code page spells, to targets it cannot.
    {L"cyrillic-gone.lnk", L"Программы\\старый.exe", false},
    {L"cyrillic-ok.lnk", L"Программы\\app.exe", true},
    {L"jp\\gone.lnk", L"日本\\消えた.exe", false},
    {L"jp\\ok.lnk", L"日本\\app.exe", true},
    {L"emoji-gone.lnk", L"\U0001F600gone\\x.exe", false},
    {L"emoji-ok.lnk", L"\U0001F600dir\\app.exe", true},
    {L"control.lnk", L"a\x01" L"b\\gone.exe", false},  // a name no file can have
};

class UnicodeTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_root.Path().empty());
        m_tree = Widen(m_root / "tree", CP_ACP);
        const std::wstring scratch = Widen(m_root / "scratch.lnk", CP_ACP);
        for (const Case& c : kCases) {
            const std::wstring target = m_tree + L"\\" + c.target;
            if (c.targetExists) {
                ASSERT_TRUE(MakeFile(target));
            }
            ASSERT_TRUE(WriteShortcut(ShortcutPath(c), target, scratch)) << Narrow(c.shortcut, CP_UTF8);
        }
    }

    std::wstring ShortcutPath(const Case& c) const
    {
        std::wstring name = c.shortcut;
        if (name.compare(0, 5, L"deep\\") == 0)
            name = L"deep" + kDeepPath + name.substr(4);
        return m_tree + L"\\" + name;
    }

    // Each shortcut's path and target as the scanner writes them (UTF-8),
    // of the shortcuts whose target is read exactly.
    std::map<std::string, std::pair<std::string, bool>> Expected() const
    {
        std::map<std::string, std::pair<std::string, bool>> rows;
        for (const Case& c : kCases)
            if (c.readExactly)
                rows[Narrow(ShortcutPath(c), CP_UTF8)] = {Narrow(m_tree + L"\\" + c.target, CP_UTF8), c.targetExists};
        return rows;
    }

    clitest::ChildResult Scanner(const std::vector<std::string>& args)
    {
        return clitest::RunScanner(args);
    }

    wintest::CTempFolder m_root{"vu"};
    std::wstring m_tree;
};

TEST_F(UnicodeTree, EveryNameAndTargetIsExactAndOnlyTheBrokenMove)
{
    const std::string tree = Narrow(m_tree, CP_ACP);
    const clitest::ChildResult scan = Scanner({"--all", "--format", "json", tree});
    ASSERT_TRUE(scan.started);
    EXPECT_EQ(scan.status, 1u) << scan.err;
    const nlohmann::json rows = nlohmann::json::parse(scan.out, nullptr, false);
    ASSERT_TRUE(rows.is_array()) << scan.out;

    std::map<std::string, std::pair<std::string, bool>> found;
    std::set<std::string> broken;
    for (const auto& row : rows) {
        const std::string shortcut = row["shortcut"], target = row["target"], status = row["status"];
        if (status == "missing")
            broken.insert(shortcut);
        if (Expected().count(shortcut))
            found[shortcut] = {target, status == "present"};
    }
    EXPECT_EQ(found, Expected()) << scan.out << scan.err;

    std::map<std::wstring, std::string> before;
    for (const Case& c : kCases)
        before[ShortcutPath(c)] = Bytes(ShortcutPath(c));
    const std::string quarantine = m_root / "q";
    const clitest::ChildResult moved = Scanner({"--quarantine", quarantine, tree});
    EXPECT_EQ(moved.status, 0u) << moved.err;
    for (const Case& c : kCases)
        EXPECT_EQ(Bytes(ShortcutPath(c)) == "<absent>", broken.count(Narrow(ShortcutPath(c), CP_UTF8)) == 1)
            << Narrow(c.shortcut, CP_UTF8);

    const clitest::ChildResult restored = Scanner({"--restore", quarantine});
    EXPECT_EQ(restored.status, 0u) << restored.out << restored.err;
    for (const Case& c : kCases)
        EXPECT_EQ(Bytes(ShortcutPath(c)), before[ShortcutPath(c)]) << Narrow(c.shortcut, CP_UTF8);
}

// Each format, written whole to a file in UTF-8: every shortcut with its
// exact target and its status, the broken ones "missing" whatever script
// their target is in.
TEST_F(UnicodeTree, EveryFormatGivesEachTargetExactlyWithItsStatus)
{
    for (const std::string format : {"text", "csv", "json", "report"}) {
        SCOPED_TRACE(format);
        const std::string output = m_root / ("rows." + format);
        const clitest::ChildResult scan =
            Scanner({"--all", "--format", format, "--output", output, Narrow(m_tree, CP_ACP)});
        EXPECT_EQ(scan.status, 1u) << scan.err;
        EXPECT_TRUE(scan.out.empty());
        const std::string written = Bytes(Widen(output, CP_ACP));
        std::map<std::string, std::pair<std::string, bool>> found;
        if (format == "json" || format == "report") {
            nlohmann::json rows = nlohmann::json::parse(written, nullptr, false);
            if (format == "report")
                rows = rows.is_object() ? rows["rows"] : nlohmann::json();
            ASSERT_TRUE(rows.is_array()) << written;
            for (const auto& row : rows)
                if (Expected().count(row["shortcut"]))
                    found[row["shortcut"]] = {row["target"], row["status"] == "present"};
        } else {
            // One line a row: the status, then the shortcut and its target.
            for (const auto& row : Expected()) {
                const std::size_t at = written.find(row.first);
                ASSERT_NE(at, std::string::npos) << row.first;
                const std::size_t start = written.rfind('\n', at) + 1;
                const std::string line = written.substr(start, written.find('\r', at) - start);
                const bool present = line.find("present") != std::string::npos;
                if (line.find(row.second.first) != std::string::npos &&
                    present != (line.find("missing") != std::string::npos))
                    found[row.first] = {row.second.first, present};
            }
        }
        EXPECT_EQ(found, Expected()) << written;
    }
}

// The dialog's ANSI file system: the rows it gives never name a file other
// than the one found, and a working shortcut whose target the code page
// cannot spell is not called broken.
TEST_F(UnicodeTree, TheDialogNeverShowsOneFileUnderAnothersName)
{
    scan::CWin32ScanFileSystem fileSystem(NULL);
    for (const bool displayAll : {false, true}) {
        wintest::CRecordingScanView view;
        view.options.scanFrom = Narrow(m_tree, CP_ACP);
        view.options.displayAll = displayAll;
        scan::CScanEngine engine(fileSystem, view);
        engine.OnScan();
        std::set<std::string> paths;
        for (const auto& row : view.Rows()) {
            EXPECT_TRUE(paths.insert(scan::AsciiLower(row.item)).second) << "listed twice: " << row.item;
            // The row's own name reaches a file whose bytes are those of one
            // shortcut made for the tree, and its verdict is that shortcut's.
            const std::string bytes = Bytes(Widen(row.item, CP_ACP));
            bool matched = false;
            for (const Case& c : kCases)
                if (Bytes(ShortcutPath(c)) == bytes && (row.image == 1) == c.targetExists)
                    matched = true;
            EXPECT_TRUE(matched) << row.item << ((row.image == 1) ? " present" : " missing");
        }
        // Each working shortcut whose target the code page cannot spell is
        // not listed by default; each broken one is, whatever its script,
        // and so is the one whose name no file can have. (A shortcut whose
        // own name the code page cannot spell is reached by its short name,
        // where Wine gives one, or passed over, and so is one in a folder
        // whose name ends in a dot: matched above.)
        for (const Case& c : kCases) {
            std::string ansi;
            if (!scan::ExactAnsi(ShortcutPath(c), ansi) || ansi.find(".\\") != std::string::npos)
                continue;
            std::size_t listed = 0;
            for (const auto& row : view.Rows())
                listed += row.item == ansi ? 1 : 0;
            const bool fits = ansi.size() < MAX_PATH;  // the dialog's limit
            EXPECT_EQ(listed, fits && (displayAll || !c.targetExists) ? 1u : 0u) << Narrow(c.shortcut, CP_UTF8);
        }
    }
}

}  // namespace

namespace {

// Run by access_denied.sh as a user who may not enter the folder that
// denied.lnk points into: the dialog does not list it, whatever its verdict's
// words; gone.lnk beside it is listed.
TEST(AccessDenied, TheDialogDoesNotCallAHiddenTargetBroken)
{
    const std::string links = wintest::Environment("VELTMOR_DENIED_LINKS");
    if (links.empty())
        GTEST_SKIP() << "run by access_denied.sh";
    scan::CWin32ScanFileSystem fileSystem(NULL);
    wintest::CRecordingScanView view;
    view.options.scanFrom = links;
    scan::CScanEngine engine(fileSystem, view);
    engine.OnScan();
    ASSERT_EQ(view.Rows().size(), 1u);
    EXPECT_EQ(view.Rows()[0].item, links + "\\gone.lnk");
}

}  // namespace

namespace {

// A program file of size bytes and the given write time, its folders made.
constexpr std::uint64_t kWriteTime = 134065394510000000ull;  // 2026-11-02 10:04:11 UTC

void Program(const std::wstring& path, std::uint32_t size)
{
    ASSERT_TRUE(MakeFolders(path.substr(0, path.rfind(L'\\')))) << Narrow(path, CP_UTF8);
    const HANDLE file = ::CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << Narrow(path, CP_UTF8);
    const std::string bytes(size, 'P');
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(file, bytes.data(), size, &written, NULL));
    FILETIME time = {static_cast<DWORD>(kWriteTime), static_cast<DWORD>(kWriteTime >> 32)};
    EXPECT_TRUE(::SetFileTime(file, NULL, NULL, &time));
    ::CloseHandle(file);
}

// A drive letter absent now is gone only where the shortcut recorded nothing
// that may be away: a share mapped in its user's session (tested through the
// share's own path) and a removable disk are neither repaired nor
// quarantined, though an exact copy lies where a repair would take it; one
// recorded on a fixed disk is repaired. Wine reaches \\server\share through
// the prefix's dosdevices\unc\server\share folder.
TEST(RecordedVolume, AMappedOrRemovableTargetIsNeverRepairedNorQuarantinedAndTheShareAnswers)
{
    wintest::CTempFolder menu{"vr"}, work{"vx"};
    const std::string prefix = wintest::Environment("WINEPREFIX");
    ASSERT_FALSE(prefix.empty());
    const std::string share = wintest::UnixToWindows(prefix + "/dosdevices/unc/vsrv/vshare");
    const std::string below = work.Path().substr(2);  // "\users\...\", the same on every drive
    ASSERT_TRUE(MakeFolders(Widen(share + below + "Mapped", CP_ACP)));
    Program(Widen(share + below + "Mapped\\ok.exe", CP_ACP), 6900);

    struct Case {
        const char* name;
        std::string target;
        std::uint32_t recordedDrive;  // 0: a share, "Y:" mapped to \\VSRV\VSHARE
        const char* status;           // --include-removable
        bool repaired;
    } cases[] = {
        {"mapped-gone", "Y:" + below + "Mapped\\m.exe", 0, "missing", false},
        {"mapped-ok", "Y:" + below + "Mapped\\ok.exe", 0, "present", false},
        {"removable", "X:" + below + "Stick\\r.exe", 2, "missing", false},
        {"fixed-gone", "Q:" + below + "Moved\\d.exe", 3, "missing", true},
    };
    std::map<std::string, std::string> before;
    for (const Case& c : cases) {
        const std::string copy = work.Path() + c.target.substr(below.size() + 2);
        Program(Widen(copy, CP_ACP), 7000);
        lnkkit::LinkParts parts;
        parts.fileSize = 7000;
        parts.writeTime = parts.creationTime = kWriteTime;
        if (c.recordedDrive == 0) {
            parts.idList = lnkkit::PathItems(c.target);
            parts.netName = "\\\\vsrv\\vshare";
            parts.deviceName = "Y:";
            parts.commonPathSuffix = c.target.substr(3);
        } else {
            parts.localBasePath = c.target;
            parts.driveType = c.recordedDrive;
        }
        const std::string path = menu / (std::string(c.name) + ".lnk");
        ASSERT_TRUE(wintest::WriteBytes(path, lnkkit::Build(parts)));
        before[path] = lnkkit::Build(parts);
    }

    clitest::ChildResult run = clitest::RunScanner({"--all", "--format", "json", menu.Path()});
    const nlohmann::json rows = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(rows.is_array()) << run.out << run.err;
    std::map<std::string, std::string> status;
    for (const auto& row : rows)
        status[row["target"]] = row["status"];
    for (const Case& c : cases)
        EXPECT_EQ(c.status, status[c.target]) << c.name << ": " << run.out;

    run = clitest::RunScanner({"--quarantine", work / "q", "--include-removable", menu.Path()});
    for (const auto& file : before) {
        std::string now;
        EXPECT_TRUE(wintest::ReadBytes(file.first, now) && now == file.second) << "quarantined: " << file.first;
    }
    run = clitest::RunScanner({"--repair", work / "kept", "--include-removable", menu.Path()});
    for (const Case& c : cases) {
        const std::string path = menu / (std::string(c.name) + ".lnk");
        std::string now;
        ASSERT_TRUE(wintest::ReadBytes(path, now)) << path;
        EXPECT_EQ(c.repaired, now != before[path]) << c.name << ": " << run.err;
    }
}

// A target that is a symbolic link is as present as its destination.
TEST(LinkTargets, ALinkWhoseDestinationIsGoneIsMissing)
{
    const std::string links = wintest::Environment("VELTMOR_LINK_TARGETS");
    if (links.empty())
        GTEST_SKIP() << "run by CTest, which makes the links";
    wintest::CTempFolder menu{"vl"};
    const std::string folder = wintest::UnixToWindows(links);
    const struct {
        const char* name;
        const char* status;
    } cases[] = {{"dangling.exe", "missing"}, {"folder-link", "present"}, {"dangling-folder", "missing"}};
    const std::wstring scratch = Widen(menu / "scratch.lnk", CP_ACP);
    for (const auto& c : cases)
        ASSERT_TRUE(WriteShortcut(Widen(menu / (std::string(c.name) + ".lnk"), CP_ACP),
                                  Widen(folder + "\\" + c.name, CP_ACP), scratch));
    const clitest::ChildResult run = clitest::RunScanner({"--all", "--format", "json", menu.Path()});
    const nlohmann::json rows = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(rows.is_array()) << run.out << run.err;
    std::map<std::string, std::string> status;
    for (const auto& row : rows)
        status[row["target"]] = row["status"];
    for (const auto& c : cases)
        EXPECT_EQ(c.status, status[folder + "\\" + c.name]) << run.out;
}

}  // namespace
