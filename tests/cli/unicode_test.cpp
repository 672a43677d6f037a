// Names in every script and paths past 260 characters, under Wine, through
// veltmor-scan.exe and through the dialog's own file system: a working
// shortcut is never called broken, a look-alike name never reaches another
// file, and the quarantine moves exactly the broken shortcuts and gives
// every file back byte for byte. Run in code page 1252 and again in 932.
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
};

// 40 characters a part: seven of them take a path past 300 characters.
const std::wstring kDeep = L"\\a123456789b123456789c123456789d12345678";
const std::wstring kDeepPath = kDeep + kDeep + kDeep + kDeep + kDeep + kDeep + kDeep;

const Case kCases[] = {
    {L"Работа.lnk", L"Программы\\app.exe", true},
    {L"Игры\\broken.lnk", L"Программы\\gone.exe", false},
    {L"Ωx.lnk", L"Ωmissing\\x.exe", false},    // best-fit spells it "Ox.lnk"
    {L"Ox.lnk", L"targets\\ok.exe", true},
    {L"日本語\\\U0001F600.lnk", L"\U0001F600dir\\app.exe", true},
    {L"tdot.\\in.lnk", L"targets\\gone.exe", false},  // a plain path drops the dot
    {L"tdot\\in.lnk", L"targets\\ok.exe", true},
    {L"deep\\x.lnk", L"targets\\ok.exe", true},
    {L"deep\\y.lnk", L"targets\\gone2.exe", false},
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

    // Each shortcut's path and target as the scanner writes them (UTF-8).
    std::map<std::string, std::pair<std::string, bool>> Expected() const
    {
        std::map<std::string, std::pair<std::string, bool>> rows;
        for (const Case& c : kCases)
            rows[Narrow(ShortcutPath(c), CP_UTF8)] = {Narrow(m_tree + L"\\" + c.target, CP_UTF8), c.targetExists};
        return rows;
    }

    clitest::ChildResult Scanner(const std::vector<std::string>& args)
    {
        return clitest::RunScanner(args);
    }

    // Wine's shell reads a shortcut's path in the code page: a target the
    // code page cannot spell comes back with '?' in it, and the only right
    // answer is then "unverified", never "missing".
    bool Spellable(const Case& c) const
    {
        std::string ansi;
        return scan::ExactAnsi(m_tree + L"\\" + c.target, ansi);
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

    std::map<std::string, std::pair<std::string, bool>> found, expected = Expected();
    std::set<std::string> broken;
    for (const auto& row : rows) {
        const std::string shortcut = row["shortcut"], target = row["target"], status = row["status"];
        if (status == "missing")
            broken.insert(shortcut);
        std::string ansi;
        if (!scan::ExactAnsi(Widen(expected[shortcut].first, CP_UTF8), ansi)) {
            EXPECT_TRUE(status != "missing" || !expected[shortcut].second) << "a working shortcut called broken: "
                                                                            << shortcut;
            expected.erase(shortcut);
            continue;
        }
        found[shortcut] = {target, status == "present"};
    }
    EXPECT_EQ(found, expected) << scan.out << scan.err;

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

TEST_F(UnicodeTree, CsvIsUtf8AndWrittenWholeToOutputFile)
{
    const std::string output = m_root / "rows.csv";
    const clitest::ChildResult scan =
        Scanner({"--all", "--format", "csv", "--output", output, Narrow(m_tree, CP_ACP)});
    EXPECT_TRUE(scan.out.empty());
    const std::string csv = Bytes(Widen(output, CP_ACP));
    for (const auto& row : Expected())
        EXPECT_NE(csv.find(row.first), std::string::npos) << row.first;
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
                if (Bytes(ShortcutPath(c)) == bytes &&
                    ((row.image == 1) == c.targetExists || (row.image == 1 && !Spellable(c))))
                    matched = true;
            EXPECT_TRUE(matched) << row.item << ((row.image == 1) ? " present" : " missing");
        }
        // The working shortcut whose target the code page cannot spell is
        // not listed by default; the broken one beside it (in a folder of
        // the same script) is.
        const std::string working = Bytes(ShortcutPath(kCases[0])), broken = Bytes(ShortcutPath(kCases[1]));
        std::size_t workingRows = 0, brokenRows = 0;
        for (const auto& row : view.Rows()) {
            const std::string bytes = Bytes(Widen(row.item, CP_ACP));
            workingRows += bytes == working ? 1 : 0;
            brokenRows += bytes == broken ? 1 : 0;
            EXPECT_TRUE(displayAll || row.image == 0) << row.item;
        }
        EXPECT_EQ(workingRows, displayAll ? 1u : 0u);
        if (Spellable(kCases[1]) || displayAll) {
            EXPECT_EQ(brokenRows, 1u);
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
