// The quarantine under Wine over real files: veltmor-scan's quarantine then
// its restore gives back every file byte for byte at its original path, also
// a path of 259 characters below a quarantine folder long enough to pass 260;
// a move that fails part way leaves every other file moved and recorded or in
// place; a restore never writes over a file that has appeared since; a dry
// run moves nothing; an unusable folder is refused before anything moves.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Scanner.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "cli/quarantine/Quarantine.h"
#include "cli/win32/Win32Mover.h"
#include "cli/win32/Win32ScanHost.h"
#include "scan/Win32ScanFileSystem.h"

namespace {

using cli::CQuarantine;
using cli::ScanRow;
using wintest::CTempFolder;

// The real host with its two streams kept for the test.
class CRecordingHost : public cli::CWin32ScanHost {
public:
    std::string output, errors;

    bool WriteOutput(const std::string& text, Encoding) override
    {
        output += text;
        return true;
    }
    void WriteError(const std::string& line) override { errors += line + "\n"; }
};

// One quarantine or restore, as veltmor-scan runs it: a fresh command over
// the same folder.
struct Command {
    cli::CWin32Mover mover;
    scan::CWin32ScanFileSystem fileSystem{NULL};
    CRecordingHost host;
    CQuarantine quarantine{mover, fileSystem, host};
};

using clitest::Scanner;

// Read through the wide calls: places in quarantine pass 260 characters.
std::string Bytes(const std::string& path)
{
    return wintest::WideBytes(wintest::LongPath(path));
}

bool Exists(const std::string& path)
{
    return GetFileAttributesW(wintest::LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Where a file below the temporary folder ("C:\...") lies in the quarantine.
std::string PlaceOf(const std::string& folder, const std::string& original)
{
    return folder + "\\" + original.substr(0, 1) + original.substr(2);
}

nlohmann::json Manifest(const std::string& folder)
{
    return nlohmann::json::parse(Bytes(folder + "\\manifest.json"), nullptr, false);
}

class QuarantineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(base.Path().empty());
        ASSERT_TRUE(CreateDirectoryA((base / "sm").c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA((base / "sm\\Sub").c_str(), NULL));
    }

    // A real shortcut to a file that is not there, and its row.
    ScanRow Broken(const std::string& relative)
    {
        ScanRow item;
        item.shortcut = base / ("sm\\" + relative);
        item.target = base / ("gone\\" + std::to_string(items.size()) + ".exe");
        item.driveType = cli::kDriveFixed;  // missing on a fixed drive
        item.location = "folder";
        item.root = base / "sm";  // the folder scanned, as every row of a scan names it
        EXPECT_EQ(S_OK, wintest::WriteShortcut(item.shortcut, item.target)) << item.shortcut;
        items.push_back(item);
        return item;
    }

    CTempFolder base{"vq"};
    std::vector<ScanRow> items;
};

TEST_F(QuarantineTest, ScannerRoundTripGivesBackEveryFileByteForByte)
{
    // A quarantine folder long enough that it plus a 259-character original
    // path passes 260 characters.
    const std::string folder = base.Path() + "q\\" + std::string(120, 'Q');
    Broken("A.lnk");
    Broken("Sub\\B.lnk");
    const std::string sub = "Sub\\" + std::string(40, 'L');
    ASSERT_TRUE(CreateDirectoryA((base / ("sm\\" + sub)).c_str(), NULL));
    const std::string prefix = base.Path() + "sm\\" + sub + "\\";
    Broken(sub + "\\" + std::string(259 - prefix.size() - 4, 'n') + ".lnk");
    ASSERT_EQ(259u, items.back().shortcut.size());
    // Never moved: a working shortcut, and one into the CD-ROM drive (listed
    // with --include-removable, for another reason than "missing").
    ASSERT_TRUE(wintest::MakeFile(base / "there.exe"));
    ASSERT_EQ(S_OK, wintest::WriteShortcut(base / "sm\\Works.lnk", base / "there.exe"));
    ASSERT_EQ(S_OK, wintest::WriteShortcut(base / "sm\\Disc.lnk", "R:\\setup.exe"));
    std::vector<std::string> bytes;
    for (const ScanRow& item : items)
        bytes.push_back(Bytes(item.shortcut));
    const std::string works = Bytes(base / "sm\\Works.lnk"), disc = Bytes(base / "sm\\Disc.lnk");

    const clitest::ChildResult moved = clitest::RunChild(
        Scanner(), {"--quarantine", folder, "--include-removable", "--format", "csv", base / "sm"});
    EXPECT_EQ(0u, moved.status) << moved.err;
    EXPECT_NE(std::string::npos, moved.out.find(",unreachable-drive,")) << moved.out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ("<absent>", Bytes(items[i].shortcut));
        EXPECT_EQ(bytes[i], Bytes(PlaceOf(folder, items[i].shortcut))) << items[i].shortcut;
    }
    EXPECT_EQ(works, Bytes(base / "sm\\Works.lnk"));
    EXPECT_EQ(disc, Bytes(base / "sm\\Disc.lnk"));
    const nlohmann::json entries = Manifest(folder)["entries"];
    ASSERT_EQ(items.size(), entries.size()) << Manifest(folder);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const nlohmann::json& entry = entries[i];
        EXPECT_EQ("quarantine", entry["action"]);
        EXPECT_EQ(items[i].shortcut, entry["original"]);
        EXPECT_EQ(items[i].target, entry["target"]);
        EXPECT_EQ("missing", entry["reason"]);
        EXPECT_EQ("folder", entry["location"]);
        EXPECT_EQ(20u, entry["time"].get<std::string>().size()) << entry["time"];
        EXPECT_EQ(VELTMOR_TEST_VERSION, entry["version"]);
        EXPECT_FALSE(entry["computer"].get<std::string>().empty());
    }

    const clitest::ChildResult restored = clitest::RunChild(Scanner(), {"--restore", folder});
    EXPECT_EQ(0u, restored.status) << restored.err;
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(bytes[i], Bytes(items[i].shortcut)) << items[i].shortcut;
    EXPECT_NE(std::string::npos, restored.out.find("3 restored, 0 left in quarantine")) << restored.out;
    // Only the manifest is left, now with the restores.
    EXPECT_FALSE(Exists(folder + "\\C"));
    EXPECT_EQ(6u, Manifest(folder)["entries"].size());
}

TEST_F(QuarantineTest, AFailedMoveLeavesEveryOtherFileMovedAndRecordedOrInPlace)
{
    const std::string folder = base / "q";
    const ScanRow held = Broken("Held.lnk");
    const ScanRow taken = Broken("Taken.lnk");
    const ScanRow free = Broken("Sub\\Free.lnk");
    // Its target came back after the scan: it stays, and that is no failure.
    const ScanRow back = Broken("Back.lnk");
    CreateDirectoryA((base / "gone").c_str(), NULL);
    ASSERT_TRUE(wintest::MakeFile(back.target));
    const std::string heldBytes = Bytes(held.shortcut), takenBytes = Bytes(taken.shortcut);
    // Held open without sharing, as a program that has it open would.
    const HANDLE handle = CreateFileA(held.shortcut.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    // And a place in quarantine already taken by another file.
    ASSERT_EQ("", Command().quarantine.Open(folder, CQuarantine::Purpose::Quarantine, false));
    const std::string takenPlace = PlaceOf(folder, taken.shortcut);
    ASSERT_TRUE(cli::CWin32Mover().MakeFolders(takenPlace.substr(0, takenPlace.rfind('\\'))));
    ASSERT_TRUE(wintest::WriteBytes(takenPlace, "other"));

    // Each run holds the folder until it ends.
    auto quarantine = std::make_unique<Command>();
    ASSERT_EQ("", quarantine->quarantine.Open(folder, CQuarantine::Purpose::Quarantine, false));
    EXPECT_EQ(cli::kExitSomeLeft, quarantine->quarantine.Quarantine(items));
    CloseHandle(handle);
    const std::string errors = quarantine->host.errors;
    quarantine.reset();
    EXPECT_NE(std::string::npos, errors.find("\"" + held.shortcut + "\"")) << errors;
    EXPECT_NE(std::string::npos, errors.find("(its place in the quarantine folder is taken): \"" +
                                             taken.shortcut + "\"")) << errors;
    EXPECT_EQ(heldBytes, Bytes(held.shortcut));
    EXPECT_EQ(takenBytes, Bytes(taken.shortcut));
    EXPECT_EQ("other", Bytes(takenPlace));
    EXPECT_EQ("<absent>", Bytes(free.shortcut));
    EXPECT_NE("<absent>", Bytes(back.shortcut));
    EXPECT_NE(std::string::npos, errors.find("its target is back: \"" + back.shortcut)) << errors;
    const nlohmann::json entries = Manifest(folder)["entries"];
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(free.shortcut, entries[0]["original"]);

    // The restore brings back the one moved, and leaves the other file in
    // quarantine: its original place is taken.
    Command restore;
    ASSERT_EQ("", restore.quarantine.Open(folder, CQuarantine::Purpose::Restore, false));
    EXPECT_EQ(cli::kExitSomeLeft, restore.quarantine.Restore());
    EXPECT_NE(Bytes(free.shortcut), "<absent>");
    EXPECT_EQ(takenBytes, Bytes(taken.shortcut));
    EXPECT_EQ("other", Bytes(takenPlace));
    EXPECT_NE(std::string::npos, restore.host.errors.find("(its original place is taken): \"" + takenPlace))
        << restore.host.errors;
}

TEST_F(QuarantineTest, RestoreNeverWritesOverAFileThatHasAppeared)
{
    const std::string folder = base / "q";
    const ScanRow item = Broken("Sub\\A.lnk");
    const std::string bytes = Bytes(item.shortcut);
    {
        Command quarantine;
        ASSERT_EQ("", quarantine.quarantine.Open(folder, CQuarantine::Purpose::Quarantine, false));
        ASSERT_EQ(cli::kExitAllMoved, quarantine.quarantine.Quarantine(items));
    }
    // The program was reinstalled meanwhile, with a new shortcut; the
    // original folder was removed and made again.
    ASSERT_TRUE(RemoveDirectoryA((base / "sm\\Sub").c_str()));
    ASSERT_TRUE(CreateDirectoryA((base / "sm\\Sub").c_str(), NULL));
    ASSERT_TRUE(wintest::WriteBytes(item.shortcut, "new"));
    // A file that no quarantine put there is never carried out of it.
    const std::string planted = base / "sm\\planted.dll";
    ASSERT_TRUE(wintest::WriteBytes(PlaceOf(folder, planted), "MZ"));

    for (const bool dryRun : {true, false}) {
        Command restore;
        ASSERT_EQ("", restore.quarantine.Open(folder, CQuarantine::Purpose::Restore, dryRun));
        EXPECT_EQ(cli::kExitSomeLeft, restore.quarantine.Restore()) << dryRun;
        EXPECT_EQ("new", Bytes(item.shortcut));
        EXPECT_EQ(bytes, Bytes(PlaceOf(folder, item.shortcut)));
    }
    // Once the new one is gone, the restore makes the folders it needs.
    ASSERT_TRUE(DeleteFileA(item.shortcut.c_str()));
    ASSERT_TRUE(RemoveDirectoryA((base / "sm\\Sub").c_str()));
    Command restore;
    ASSERT_EQ("", restore.quarantine.Open(folder, CQuarantine::Purpose::Restore, false));
    EXPECT_EQ(cli::kExitSomeLeft, restore.quarantine.Restore());
    EXPECT_EQ(bytes, Bytes(item.shortcut));
    EXPECT_EQ("<absent>", Bytes(planted));
    EXPECT_NE(std::string::npos, restore.host.errors.find("(not a shortcut)")) << restore.host.errors;
}

TEST_F(QuarantineTest, DryRunMovesNothingAndUnusableFoldersAreRefused)
{
    Broken("A.lnk");
    const std::string before = Bytes(items[0].shortcut);
    Command dry;
    ASSERT_EQ("", dry.quarantine.Open(base / "q", CQuarantine::Purpose::Quarantine, true));
    EXPECT_EQ(cli::kExitAllMoved, dry.quarantine.Quarantine(items));
    EXPECT_NE(std::string::npos, dry.host.errors.find("would move: \"" + items[0].shortcut)) << dry.host.errors;
    EXPECT_EQ(before, Bytes(items[0].shortcut));
    EXPECT_FALSE(Exists(base / "q"));

    ASSERT_TRUE(wintest::WriteBytes(base / "file", "x"));
    ASSERT_TRUE(CreateDirectoryA((base / "bad").c_str(), NULL));
    ASSERT_TRUE(wintest::WriteBytes(base / "bad\\manifest.json", "{\"not\": \"ours\"}"));
    const struct {
        std::string folder;
        CQuarantine::Purpose purpose;
        const char* problem;
    } refused[] = {
        {base / "file", CQuarantine::Purpose::Quarantine, "not a folder"},
        {base / "file\\q", CQuarantine::Purpose::Quarantine, "cannot create"},
        {base / "none", CQuarantine::Purpose::Restore, "no such folder"},
        {base / "bad", CQuarantine::Purpose::Quarantine, "not a quarantine manifest"},
        {"C:\\", CQuarantine::Purpose::Restore, "root"},
    };
    for (const auto& r : refused) {
        Command run;
        EXPECT_NE(std::string::npos, run.quarantine.Open(r.folder, r.purpose, false).find(r.problem))
            << r.folder;
    }
    EXPECT_EQ(before, Bytes(items[0].shortcut));
    EXPECT_EQ("{\"not\": \"ours\"}", Bytes(base / "bad\\manifest.json"));
}

}  // namespace

namespace {

// One run at a time on a quarantine folder; and the file moved is the file
// scanned: one whose target is not what the scan read stays where it is.
TEST_F(QuarantineTest, OneRunAtATimeAndOnlyTheFileScannedMoves)
{
    const std::string folder = base / "q";
    ScanRow changed = Broken("Changed.lnk");
    const ScanRow same = Broken("Same.lnk");
    changed.target = base / "gone\\what the scan read.exe";
    items[0] = changed;

    Command first;
    ASSERT_EQ("", first.quarantine.Open(folder, CQuarantine::Purpose::Quarantine, false));
    for (const cli::CQuarantine::Purpose purpose : {CQuarantine::Purpose::Quarantine, CQuarantine::Purpose::Restore}) {
        const bool restore = purpose == CQuarantine::Purpose::Restore;
        const clitest::ChildResult second = clitest::RunChild(
            Scanner(), restore ? std::vector<std::string>{"--restore", folder}
                               : std::vector<std::string>{"--quarantine", folder, base / "sm"});
        EXPECT_EQ(2u, second.status) << second.err;
        EXPECT_NE(std::string::npos, second.err.find("another veltmor-scan is using")) << second.err;
    }
    EXPECT_EQ(cli::kExitSomeLeft, first.quarantine.Quarantine(items));
    EXPECT_NE("<absent>", Bytes(changed.shortcut));
    EXPECT_EQ("<absent>", Bytes(same.shortcut));
    EXPECT_NE(std::string::npos, first.host.errors.find("(it changed since the scan): \"" + changed.shortcut))
        << first.host.errors;
}

}  // namespace
