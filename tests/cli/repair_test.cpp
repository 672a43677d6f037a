// --suggest, --repair and --restore under Wine over real trees of moved
// programs: each kind of move is graded as its evidence says, decoys never
// above what they share, a repair retargets exactly the exact ones and keeps
// every other field as the shell reads it, a dry run writes nothing, and a
// restore gives every original file back byte for byte.
#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "ChildProcess.h"
#include "Scanner.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "cli/quarantine/Quarantine.h"
#include "cli/win32/ShellRetargeter.h"
#include "cli/win32/Win32Mover.h"
#include "cli/win32/Win32ScanHost.h"
#include "cli/win32/Win32Trust.h"
#include "scan/LinkStructure.h"
#include "scan/Win32ScanFileSystem.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using wintest::CTempFolder;

// A write time of the kind a file keeps when copied: 2026-11-02 10:04:11 UTC.
constexpr std::uint64_t kWriteTime = 134065394510000000ull;
constexpr std::uint64_t kSecond = 10000000ull;

using clitest::Scanner;

// A program file of size bytes and the given write time, its folders made.
void Program(const std::string& path, std::size_t size, std::uint64_t writeTime = kWriteTime)
{
    for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), NULL);
    ASSERT_TRUE(wintest::WriteBytes(path, std::string(size, 'P'))) << path;
    const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME time = {static_cast<DWORD>(writeTime), static_cast<DWORD>(writeTime >> 32)};
    EXPECT_TRUE(SetFileTime(file, NULL, NULL, &time));
    CloseHandle(file);
}

// What the shell reads of a shortcut, field by field.
struct Fields {
    std::wstring target, arguments, description, workingDir, icon;
    int iconIndex = 0, showCmd = 0;
    WORD hotkey = 0;

    auto Tied() const { return std::tie(target, arguments, description, workingDir, icon, iconIndex, showCmd, hotkey); }
    bool operator==(const Fields& o) const { return Tied() == o.Tied(); }
};

Fields ReadFields(const std::string& path)
{
    Fields fields;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t text[1024];
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return fields;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(std::wstring(path.begin(), path.end()).c_str(), STGM_READ))) {
        const auto get = [&text](HRESULT hr) { return SUCCEEDED(hr) ? std::wstring(text) : std::wstring(); };
        fields.target = get(link->GetPath(text, 1024, NULL, SLGP_RAWPATH));
        fields.arguments = get(link->GetArguments(text, 1024));
        fields.description = get(link->GetDescription(text, 1024));
        fields.workingDir = get(link->GetWorkingDirectory(text, 1024));
        fields.icon = get(link->GetIconLocation(text, 1024, &fields.iconIndex));
        link->GetShowCmd(&fields.showCmd);
        link->GetHotkey(&fields.hotkey);
    }
    if (file)
        file->Release();
    link->Release();
    return fields;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

class RepairTest : public ::testing::Test {
protected:
    // A shortcut as Windows saves one: the target's size and write time in
    // its header, its volume's serial, and fields a repair must keep.
    std::string Shortcut(const std::string& name, const std::string& target, std::uint32_t size,
                         std::uint64_t writeTime = kWriteTime)
    {
        lnkkit::LinkParts parts;
        parts.localBasePath = target;
        parts.fileSize = size;
        parts.writeTime = writeTime;
        parts.creationTime = writeTime;
        parts.name = "Runs " + name;
        parts.arguments = "--from-menu";
        parts.workingDir = target.substr(0, target.rfind('\\'));
        parts.iconLocation = target;
        std::string bytes = lnkkit::Build(parts);
        lnkkit::Put16(bytes, 0x40, 0x0641);  // hotkey Ctrl+Shift+A
        lnkkit::Put32(bytes, 0x3C, SW_SHOWMAXIMIZED);
        const std::string path = menu.Path() + name + ".lnk";
        EXPECT_TRUE(wintest::WriteBytes(path, bytes));
        return path;
    }

    CTempFolder menu{"vm"};
    CTempFolder work{"vw"};
};

TEST_F(RepairTest, EachMoveIsGradedByItsEvidenceOnlyTrustedExactOnesAreRepairedAndAllRestored)
{
    // Another fixed drive: Wine's Z: is the Unix root, so the same path on
    // C: below the Unix name of our folder is missing and on Z: is there.
    const std::string prefix = wintest::Environment("WINEPREFIX");
    ASSERT_FALSE(prefix.empty());
    std::string unix = prefix + "/drive_c/" + work.Path().substr(3);
    for (char& c : unix)
        c = c == '/' ? '\\' : c;
    const std::string onC = "C:" + unix, onZ = "Z:" + unix;
    const std::string pf = "C:\\Program Files\\", pf86 = "C:\\Program Files (x86)\\";
    const std::string tag = work.Path().substr(work.Path().size() - 7, 6);  // tells this run's folders apart

    struct Move {
        const char* kind;
        std::string target, real;  // the shortcut's missing target, where the program is now
        std::size_t realSize;
        std::uint64_t realTime;
        const char* grade;
        bool repaired;  // exact, and where only administrators or the shortcut's own user may write
        std::string candidate;
    } moves[] = {
        {"other program files", pf + "Vt" + tag + "A\\a.exe", pf86 + "Vt" + tag + "A\\a.exe", 4000, kWriteTime,
         "exact", true, ""},
        {"new version", pf + "Vt" + tag + " 4.1\\bin\\b.exe", pf + "Vt" + tag + " 4.2\\bin\\b.exe", 5000, kWriteTime,
         "exact", true, ""},
        {"other drive, outside the profile", onC + "Apps\\c.exe", onZ + "Apps\\c.exe", 6000, kWriteTime, "exact",
         false, ""},
        {"drive letter gone", "Q" + work.Path().substr(1) + "Moved\\d.exe", work.Path() + "Moved\\d.exe", 7000,
         kWriteTime, "exact", true, ""},
        // Decoys: another size; the same size at another time.
        {"other size", pf + "Vt" + tag + "E\\e.exe", pf86 + "Vt" + tag + "E\\e.exe", 8001, kWriteTime, "name-only",
         false, ""},
        {"other time", pf + "Vt" + tag + "F\\f.exe", pf86 + "Vt" + tag + "F\\f.exe", 9000, kWriteTime + 3 * kSecond,
         "likely", false, ""},
    };
    std::map<std::string, Move*> byShortcut;
    std::map<std::string, std::string> originalBytes;
    std::map<std::string, Fields> originalFields;
    for (Move& move : moves) {
        move.candidate = move.real;
        Program(move.real, move.realSize, move.realTime);
        const std::uint32_t stored = static_cast<std::uint32_t>(move.realSize == 8001 ? 8000 : move.realSize);
        const std::string link = Shortcut(move.kind, move.target, stored);
        byShortcut[link] = &move;
        ASSERT_TRUE(wintest::ReadBytes(link, originalBytes[link]));
        originalFields[link] = ReadFields(link);
    }
    // A newer version beside the old one, of another size: found, but the
    // exact copy wins.
    Program(pf + "Vt" + tag + " 5.0\\bin\\b.exe", 5500);

    clitest::ChildResult run = clitest::RunChild(
        Scanner(), {"--suggest", "--include-removable", "--format", "json", menu.Path()});
    ASSERT_EQ(1u, run.status) << run.err;
    const nlohmann::json rows = nlohmann::json::parse(run.out);
    ASSERT_EQ(std::size(moves), rows.size()) << run.out;
    for (const nlohmann::json& row : rows) {
        const Move& move = *byShortcut.at(row["shortcut"].get<std::string>());
        SCOPED_TRACE(move.kind);
        EXPECT_EQ(move.candidate, row["candidate"].is_string() ? row["candidate"].get<std::string>() : "");
        EXPECT_EQ(move.grade, row["grade"].is_string() ? row["grade"].get<std::string>() : "") << row["evidence"];
    }

    const std::string keep = work.Path() + "kept";
    const std::vector<std::string> repair = {"--repair", keep, "--include-removable", menu.Path()};
    std::vector<std::string> dryRun = repair;
    dryRun.insert(dryRun.begin(), "--dry-run");
    run = clitest::RunChild(Scanner(), dryRun);
    EXPECT_EQ(1u, run.status) << run.err;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(keep.c_str())) << "a dry run writes nothing";
    for (const auto& original : originalBytes) {
        std::string now;
        EXPECT_TRUE(wintest::ReadBytes(original.first, now) && now == original.second) << original.first;
    }

    run = clitest::RunChild(Scanner(), repair);
    EXPECT_EQ(1u, run.status) << "the exact one outside the profile is left: " << run.err;
    EXPECT_NE(std::string::npos, run.err.find("its new target lies where other users may write")) << run.err;
    for (const auto& entry : byShortcut) {
        const Move& move = *entry.second;
        SCOPED_TRACE(move.kind);
        const bool exact = move.repaired;
        Fields expected = originalFields[entry.first];
        if (exact) {
            // Only the target changes, and the working folder and icon that
            // lay in the old folder follow it into the new one.
            const std::string newFolder = move.real.substr(0, move.real.rfind('\\'));
            expected.target = Wide(move.real);
            expected.workingDir = Wide(newFolder);
            expected.icon = Wide(move.real);
        }
        EXPECT_TRUE(ReadFields(entry.first) == expected);
        std::string now;
        ASSERT_TRUE(wintest::ReadBytes(entry.first, now));
        EXPECT_EQ(exact, now != originalBytes[entry.first]);
    }
    run = clitest::RunChild(Scanner(), {"--include-removable", "--format", "json", menu.Path()});
    EXPECT_EQ(1u, run.status) << "the two decoys and the one left stay broken";
    EXPECT_EQ(3u, nlohmann::json::parse(run.out).size());

    run = clitest::RunChild(Scanner(), {"--restore", keep});
    EXPECT_EQ(0u, run.status) << run.err;
    for (const auto& original : originalBytes) {
        std::string now;
        EXPECT_TRUE(wintest::ReadBytes(original.first, now) && now == original.second) << original.first;
    }
}

TEST_F(RepairTest, AShortcutWithTwoEqualCandidatesIsLeftAlone)
{
    const std::string pf = "C:\\Program Files\\", pf86 = "C:\\Program Files (x86)\\";
    const std::string tag = work.Path().substr(work.Path().size() - 7, 6);
    // The same copy in the other program files folder and on an App Paths
    // registration: two exact candidates, and neither is chosen.
    const std::string target = pf + "Vt" + tag + "G\\g" + tag + ".exe";
    Program(pf86 + "Vt" + tag + "G\\g" + tag + ".exe", 3000);
    Program(work.Path() + "elsewhere\\g" + tag + ".exe", 3000);
    HKEY key;
    const std::string appPath = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\g" + tag + ".exe";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, appPath.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &key,
                                             NULL));
    const std::string registered = work.Path() + "elsewhere\\g" + tag + ".exe";
    RegSetValueExA(key, NULL, 0, REG_SZ, reinterpret_cast<const BYTE*>(registered.c_str()),
                   static_cast<DWORD>(registered.size() + 1));
    RegCloseKey(key);
    const std::string link = Shortcut("two", target, 3000);
    std::string before;
    ASSERT_TRUE(wintest::ReadBytes(link, before));
    const clitest::ChildResult run = clitest::RunChild(Scanner(), {"--repair", work.Path() + "kept", menu.Path()});
    RegDeleteKeyA(HKEY_CURRENT_USER, appPath.c_str());
    EXPECT_NE(std::string::npos, run.err.find("2 candidates are as good")) << run.err;
    std::string after;
    ASSERT_TRUE(wintest::ReadBytes(link, after));
    EXPECT_EQ(before, after);
}

TEST_F(RepairTest, AShortcutChangedSinceTheScanIsLeftAsItIs)
{
    const std::string real = work.Path() + "new\\h.exe";
    Program(real, 2000);
    const std::string link = Shortcut("changed", work.Path() + "old\\h.exe", 2000);
    std::string before;
    ASSERT_TRUE(wintest::ReadBytes(link, before));

    cli::ScanRow item;
    item.shortcut = link;
    item.target = work.Path() + "old\\h.exe";
    item.driveType = cli::kDriveFixed;  // missing on a fixed drive
    item.digest = scan::Digest(before + "edited since");
    item.candidate = real;
    item.grade = cli::Grade::Exact;
    cli::CWin32Mover mover;
    scan::CWin32ScanFileSystem fileSystem{NULL};
    cli::CWin32ScanHost host;
    cli::CShellRetargeter retargeter;
    cli::CQuarantine repair(mover, fileSystem, host);
    const std::string keep = work.Path() + "kept";
    ASSERT_EQ("", repair.Open(keep, cli::CQuarantine::Purpose::Quarantine, false));
    EXPECT_EQ(cli::kExitSomeLeft, repair.Repair({item}, retargeter, cli::Grade::Exact));
    std::string after;
    ASSERT_TRUE(wintest::ReadBytes(link, after));
    EXPECT_EQ(before, after);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((keep + "\\" + link.substr(0, 1) + link.substr(2)).c_str()))
        << "nothing kept for a shortcut left alone";
}

// A folder's access list as Windows leaves its Temp: anyone may write. Wine
// keeps no descriptor but turns the list into the folder's Unix mode.
void OpenToEveryone(const std::string& folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                     &descriptor, NULL));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::string name = folder;
    EXPECT_EQ(DWORD(ERROR_SUCCESS), SetNamedSecurityInfoA(&name[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                                          NULL, NULL, dacl, NULL));
    LocalFree(descriptor);
    // What the scanner will read: everyone may write there now.
    cli::CWin32SecurityReader reader;
    cli::SecurityDescriptorText read;
    std::string problem;
    ASSERT_TRUE(cli::ParseSddl(reader.Read(folder).sddl, read, problem)) << problem;
    EXPECT_EQ("S-1-1-0", cli::Judge(read, cli::TrustRole::Target, reader.MachineAccounts()).who) << folder;
}

TEST_F(RepairTest, ACandidateWhereUsersMayWriteIsNeverRepaired)
{
    const std::string tag = work.Path().substr(work.Path().size() - 7, 6);
    char windows[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
    const std::string win = windows, data = wintest::Environment("ProgramData");
    const struct {
        std::string folder;  // the candidate's folder (its parent made open to everyone, as on Windows)
        bool repaired;
    } places[] = {
        {win + "\\Temp\\Vt" + tag, false},
        {win + "\\Tasks\\Vt" + tag, false},
        {win + "\\tracing\\Vt" + tag, false},
        {win + "\\System32\\spool\\drivers\\color\\Vt" + tag, false},
        {data + "\\Vt" + tag, false},
        {win + "\\System32\\Vt" + tag, true},
        {"C:\\Program Files\\Vt" + tag + "P", true},
    };
    std::vector<std::string> keys, links, before;
    for (const auto& place : places) {
        const std::string name = "u" + std::to_string(keys.size()) + tag + ".exe", real = place.folder + "\\" + name;
        Program(real, 1200);
        const std::string parent = place.folder.substr(0, place.folder.rfind('\\'));
        if (!place.repaired)
            OpenToEveryone(parent);
        // The program's registration names where it is now.
        keys.push_back("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name);
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, keys.back().c_str(), 0, NULL, 0, KEY_WRITE, NULL,
                                                 &key, NULL));
        RegSetValueExA(key, NULL, 0, REG_SZ, reinterpret_cast<const BYTE*>(real.c_str()),
                       static_cast<DWORD>(real.size() + 1));
        RegCloseKey(key);
        links.push_back(Shortcut("open" + std::to_string(keys.size()), "C:\\Program Files\\Gone" + tag + "\\" + name,
                                 1200));
        before.emplace_back();
        ASSERT_TRUE(wintest::ReadBytes(links.back(), before.back()));
    }
    const clitest::ChildResult run = clitest::RunChild(Scanner(), {"--repair", work.Path() + "kept", menu.Path()});
    for (const std::string& key : keys)
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    EXPECT_EQ(1u, run.status) << run.err;
    for (std::size_t i = 0; i < links.size(); ++i) {
        std::string after;
        ASSERT_TRUE(wintest::ReadBytes(links[i], after));
        EXPECT_EQ(places[i].repaired, after != before[i]) << places[i].folder << "\n" << run.err;
    }
    EXPECT_NE(std::string::npos, run.err.find("color\": Everyone (S-1-1-0) may write data")) << run.err;
}

TEST_F(RepairTest, AnElevatedRunRefusesAKeepingFolderOthersMayChange)
{
    cli::CWin32SecurityReader reader;
    ASSERT_TRUE(reader.Elevated()) << "Wine runs every program elevated";
    const std::string open = work.Path() + "open", below = work.Path() + "locked";
    ASSERT_TRUE(CreateDirectoryA(open.c_str(), NULL) && CreateDirectoryA(below.c_str(), NULL));
    OpenToEveryone(open);
    const struct {
        std::vector<std::string> args;
        int status;
    } runs[] = {
        {{"--restore", open}, 2},
        {{"--repair", open, menu.Path()}, 2},
        {{"--quarantine", open + "\\new", menu.Path()}, 2},  // to be made in a folder anyone may change
        {{"--restore", below}, 0},
        {{"--quarantine", below + "\\new", menu.Path()}, 0},
    };
    for (const auto& r : runs) {
        const clitest::ChildResult run = clitest::RunChild(Scanner(), r.args);
        EXPECT_EQ(unsigned(r.status), run.status) << r.args.front() << " " << r.args[1] << ": " << run.err;
        if (r.status == 2) {
            EXPECT_NE(std::string::npos, run.err.find("may be changed by others than the administrators: \"" + open +
                                                      "\": Everyone (S-1-1-0) may"))
                << run.err;
        }
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((open + "\\new").c_str())) << "refused before it is made";
}

}  // namespace
