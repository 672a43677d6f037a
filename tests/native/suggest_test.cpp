// Suggestions for missing targets against an in-memory machine: each kind of
// move is found and graded by what the shortcut stored, decoys never grade
// higher than they share, the search stays bounded, and the evidence reader
// holds on every cut and mutation of a shortcut file.
#include "cli/suggest/Suggest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <random>
#include <set>

#include <nlohmann/json.hpp>

#include "FakeFileStore.h"
#include "FakeScanHost.h"
#include "FakeScanPlatform.h"
#include "cli/ScanCommand.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using cli::FileFacts;
using cli::Grade;

constexpr std::uint64_t kSecond = 10000000;
constexpr std::uint64_t kYear2000 = 125911584000000000;  // 2000-01-01 00:00:00 UTC as a FILETIME
constexpr std::uint64_t kStoredTime = kYear2000 + 1234567;  // not on a FAT 2-second step
constexpr std::uint32_t kStoredSize = 181248;
constexpr std::uint32_t kSerial = 0x1234ABCD;

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Files by path (ASCII case ignored); folders are every file's parents.
class FakeMachine : public cli::SuggestSource {
public:
    std::map<std::string, FileFacts> files;  // lower-case path
    std::map<std::string, std::vector<std::string>> subFolders;  // lower-case folder
    std::vector<std::string> drives{"C:\\", "D:\\"};
    std::map<std::string, std::vector<std::string>> registered;
    std::vector<cli::InstalledProgram> installed;
    std::string shellAnswer;  // empty: the shell cannot say
    std::vector<std::string> asked;
    std::size_t listings = 0, largestLimit = 0;

    // Defaults: what the shortcut stored.
    void Put(const std::string& path, std::uint64_t size = kStoredSize, std::uint64_t time = kStoredTime,
             std::uint32_t serial = kSerial)
    {
        files[Lower(path)] = {true, false, size, time, 0, 0, true, serial};
        for (std::size_t slash = path.find_last_of('\\'); slash > 2 && slash != std::string::npos;
             slash = path.find_last_of('\\', slash - 1)) {
            const std::string folder = path.substr(0, slash);
            const std::size_t up = folder.find_last_of('\\');
            auto& names = subFolders[Lower(up == 2 ? folder.substr(0, 3) : folder.substr(0, up))];
            if (std::find(names.begin(), names.end(), folder.substr(up + 1)) == names.end())
                names.push_back(folder.substr(up + 1));
            files.emplace(Lower(folder), FileFacts{true, true});
        }
    }

    bool Facts(const std::string& path, FileFacts& facts) override
    {
        asked.push_back(path);
        const auto found = files.find(Lower(path));
        if (found != files.end())
            facts = found->second;
        return found != files.end();
    }
    std::vector<std::string> FixedDrives() override { return drives; }
    std::vector<std::string> SubFolders(const std::string& folder, std::size_t limit) override
    {
        ++listings;
        largestLimit = std::max(largestLimit, limit);
        return subFolders[Lower(folder)];  // all of them, whatever the limit: the caller must cope
    }
    std::vector<std::string> ProgramFilesFolders() override { return {"C:\\Program Files", "C:\\Program Files (x86)"}; }
    std::vector<std::string> RegisteredPaths(const std::string& fileName) override { return registered[Lower(fileName)]; }
    std::vector<cli::InstalledProgram> InstalledPrograms() override { return installed; }
    bool ShellResolve(const std::string&, std::string& target) override
    {
        target = shellAnswer;
        return !shellAnswer.empty();
    }
};

cli::LinkEvidence Stored()
{
    cli::LinkEvidence evidence;
    evidence.fileSize = kStoredSize;
    evidence.writeTime = kStoredTime;
    evidence.hasVolume = true;
    evidence.driveType = cli::kDriveFixed;
    evidence.volumeSerial = kSerial;
    return evidence;
}

using Arrange = std::function<void(FakeMachine&, cli::LinkEvidence&)>;
const Arrange kNothing = [](auto&, auto&) {};

// A machine holding one file, and what else the row sets.
Arrange File(const std::string& path, std::uint64_t size, std::uint64_t time = kStoredTime, const Arrange& also = kNothing)
{
    return [=](FakeMachine& m, cli::LinkEvidence& e) { m.Put(path, size, time), also(m, e); };
}
Arrange File(const std::string& path, const Arrange& also = kNothing) { return File(path, kStoredSize, kStoredTime, also); }
// The shortcut stored a FAT time, on the step; the file's is `later` ticks after it.
Arrange FatFile(const std::string& path, std::uint64_t later)
{
    return File(path, kStoredSize, kYear2000 + later, [](auto&, auto& e) { e.writeTime = kYear2000; });
}
Arrange ShellFinds(const std::string& path, bool knownFolder)
{
    return File(path, [=](auto& m, auto& e) { m.shellAnswer = path, e.hasKnownFolder = knownFolder; });
}

struct Row {
    const char* label;
    std::string target;
    Arrange arrange;
    std::string candidate;  // empty: none
    Grade grade;
    std::vector<std::string> evidence;  // pieces the evidence text must hold
};

void RunRows(const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        FakeMachine machine;
        cli::LinkEvidence evidence = Stored();
        row.arrange(machine, evidence);
        const cli::Suggestion got = cli::Suggest(row.target, "C:\\Menu\\x.lnk", evidence, machine);
        EXPECT_EQ(row.candidate, got.candidate);
        EXPECT_EQ(cli::GradeName(row.grade), std::string(cli::GradeName(got.grade)));
        for (const std::string& piece : row.evidence)
            EXPECT_NE(std::string::npos, got.evidence.find(piece)) << got.evidence;
        EXPECT_EQ(std::string::npos, got.evidence.find_first_of("\r\n"));
        EXPECT_TRUE(std::none_of(machine.asked.begin(), machine.asked.end(),
                                 [&](const std::string& path) { return Lower(path) == Lower(row.target); }))
            << "asked about the target";
    }
}

TEST(Suggest, EachKindOfMoveIsFoundAndGradedByTheStoredEvidence)
{
    const std::string x86 = "C:\\Program Files (x86)\\App\\bin\\app.exe", pf = "C:\\Program Files\\App\\bin\\app.exe";
    const std::string v42 = "C:\\Program Files\\App 4.2\\bin\\app.exe", note = "C:\\Users\\ann\\AppData\\Local\\Programs\\";
    const std::string zed = "D:\\Apps\\ZedEd\\zed.exe", zed3 = "E:\\Soft\\Zed 3\\bin\\zed.exe";
    const std::string viewer = "Q:\\Elsewhere\\viewer.exe", tool = "F:\\Games\\Tool\\tool.exe";
    RunRows({
        {"other program files folder", x86, File("C:\\PROGRAM FILES\\App\\bin\\app.exe"), pf, Grade::Exact,
         {"size 181,248", "volume 1234-ABCD as stored"}},
        {"its twin on a drive not listed", "E:\\Program Files\\App\\app.exe", File("E:\\Program Files (x86)\\App\\app.exe"),
         "E:\\Program Files (x86)\\App\\app.exe", Grade::Exact, {}},
        {"other drive, other volume", "D:\\Games\\Tool\\tool.exe",
         [=](auto& m, auto&) { m.drives.push_back("F:\\"), m.Put(tool, kStoredSize, kStoredTime, 0x0BADF00D); }, tool,
         Grade::Exact, {"on another volume: serial 0BAD-F00D, the shortcut's 1234-ABCD"}},
        {"stored on a removable drive", "G:\\Tool\\tool.exe",
         File("D:\\Tool\\tool.exe", [](auto&, auto& e) { e.driveType = 2; }), "D:\\Tool\\tool.exe", Grade::Exact,
         {"removable drive", "fixed drive"}},
        {"newer version, other size", "C:\\Program Files\\App 4.1\\bin\\app.exe", File(v42, 190000, kStoredTime + 99 * kSecond),
         v42, Grade::Likely, {"App 4.2", "size 190,000, the shortcut's 181,248"}},
        {"version of a per-user program", note + "Note-v2\\note.exe", File(note + "note_V3\\note.exe", 5, 5),
         note + "note_V3\\note.exe", Grade::Likely, {}},
        {"unversioned folder, versioned sibling", "D:\\Tools\\Tool\\tool.exe", File("D:\\Tools\\Tool 5\\tool.exe", 5, 5),
         "D:\\Tools\\Tool 5\\tool.exe", Grade::Likely, {}},
        {"App Paths registration", "C:\\Old\\app.exe",
         File("D:\\New Place\\APP.EXE", kStoredSize, kStoredTime + kSecond,
              [](auto& m, auto&) { m.registered["app.exe"] = {" \"D:\\New Place\\APP.EXE\" "}; }),
         "D:\\New Place\\APP.EXE", Grade::Likely,
         {"App Paths", "write time 2000-01-01 00:00:01 UTC, the shortcut's 2000-01-01 00:00:00 UTC"}},
        {"uninstall entry's folder", "C:\\Program Files\\Zed Editor 1.0\\zed.exe",
         File(zed, [](auto& m, auto&) {
             m.installed = {{"Other", "D:\\Other", ""}, {"Zed Editor 2.0", "D:\\Apps\\ZedEd\\", ""}};
         }), zed, Grade::Exact, {"uninstall entry \"Zed Editor 2.0\""}},
        {"uninstall entry with a hostile name", "C:\\Program Files\\Zed 1\\zed.exe",
         File("D:\\Zed\\zed.exe", [](auto& m, auto&) { m.installed = {{"Zed\r\n" + std::string(300, 'x'), "D:\\Zed", ""}}; }),
         "D:\\Zed\\zed.exe", Grade::Exact, {"uninstall entry \"Zed  xxx", "xxx...\": same name"}},
        {"uninstall entry's icon", "C:\\Program Files\\Zed 1\\bin\\zed.exe",
         File(zed3, [=](auto& m, auto&) { m.installed = {{"Editor", "", "\"" + zed3 + "\",0"}}; }), zed3, Grade::Exact, {}},
        {"shell's resolution", "C:\\Data\\viewer.exe", ShellFinds(viewer, true), viewer, Grade::Exact, {"shell"}},
        {"the shell, without a known folder or variables to go by", "C:\\Data\\viewer.exe", ShellFinds(viewer, false), "",
         Grade::None, {}},
        {"FAT time, 1.9999999 s later", x86, FatFile(pf, 2 * kSecond - 1), pf, Grade::Exact, {"FAT"}},
        {"nothing anywhere", x86, kNothing, "", Grade::None, {"places looked at"}},
    });
}

TEST(Suggest, DecoysAreNeverGradedAboveWhatTheyShare)
{
    const std::string target = "C:\\Program Files (x86)\\App\\app.exe", moved = "C:\\Program Files\\App\\app.exe";
    const std::string v41 = "C:\\Program Files\\App 4.1\\app.exe", v50 = "C:\\Program Files\\App 5.0\\app.exe";
    RunRows({
        {"other size", target, File(moved, kStoredSize + 1), moved, Grade::NameOnly, {"size 181,249, the shortcut's 181,248"}},
        {"one byte smaller, a second later", target, File(moved, kStoredSize - 1, kStoredTime + kSecond), moved,
         Grade::NameOnly, {"same name only"}},
        {"other write time by a tick", target, File(moved, kStoredSize, kStoredTime + 1), moved, Grade::Likely, {}},
        {"FAT time 2 s off", target, FatFile(moved, 2 * kSecond), moved, Grade::Likely, {}},
        {"no size stored", target, File(moved, 0, kStoredTime, [](auto&, auto& e) { e.fileSize = 0; }), moved, Grade::Likely,
         {"none stored"}},
        {"no time stored", target, File(moved, kStoredSize, 0, [](auto&, auto& e) { e.writeTime = 0; }), moved, Grade::Likely,
         {"no write time stored"}},
        {"sibling version, same time", v41, File(v50, kStoredSize + 4096), v50, Grade::Likely, {}},
        {"a folder of that name", target, File(moved + "\\x"), "", Grade::None, {}},
        {"the shell names the target", target, File(target, [](auto& m, auto& e) {
             m.shellAnswer = "c:\\program files (X86)\\app\\APP.exe", e.environmentTarget = "%ProgramFiles%\\app\\app.exe";
         }), "", Grade::None, {}},
        {"the shell names another file", target, ShellFinds("D:\\x\\other.exe", true), "", Grade::None, {}},
        {"digits alone are no version", "D:\\Apps\\4.1\\app.exe", File("D:\\Apps\\4.2\\app.exe"), "", Grade::None, {}},
        {"a removable drive's folders are not listed", "G:\\Apps\\App 1\\app.exe", File("G:\\Apps\\App 2\\app.exe"), "",
         Grade::None, {}},
        {"another program", "D:\\Apps\\App\\app.exe", File("D:\\Apps\\Apple\\app.exe"), "", Grade::None, {}},
    });
}

// Hundreds of machines with same-name files differing from what was stored
// in size or write time (never both equal), now and then the real file among
// them: no decoy is ever exact, and likely only with the stored size or as
// another version.
TEST(Suggest, GeneratedDecoysNeverGradeExact)
{
    std::mt19937_64 random(20261102);
    const auto pick = [&](std::uint64_t n) { return std::uniform_int_distribution<std::uint64_t>(0, n - 1)(random); };
    const auto same = [](std::uint64_t a, std::uint64_t b) {  // the FAT rule, stated here on its own
        const std::uint64_t apart = a > b ? a - b : b - a;
        return a == b || ((a % (2 * kSecond) == 0 || b % (2 * kSecond) == 0) && apart < 2 * kSecond);
    };
    const std::vector<std::string> places{"C:\\Program Files\\App 4.1\\app.exe", "C:\\Program Files (x86)\\App 4.1\\app.exe",
                                          "D:\\Program Files\\App 4.1\\app.exe", "E:\\Program Files\\App 4.1\\app.exe",
                                          "C:\\Program Files\\App 4.2\\app.exe", "D:\\Program Files\\App_v5\\app.exe"};
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        FakeMachine machine;
        machine.drives = {"C:\\", "D:\\", "E:\\"};
        cli::LinkEvidence evidence = Stored();
        evidence.fileSize = static_cast<std::uint32_t>(1 + pick(100000000));
        evidence.writeTime = kYear2000 + pick(1000000) * (pick(2) ? 2 * kSecond : 7777777);
        const std::string real = pick(4) == 0 ? places[pick(places.size())] : "";
        for (const std::string& place : places) {
            std::uint64_t size = evidence.fileSize, time = evidence.writeTime;
            do {
                if (pick(2))
                    size = pick(3) ? evidence.fileSize + pick(9) - 4 : pick(200000000);
                if (pick(2))
                    time = pick(3) ? evidence.writeTime + pick(6 * kSecond) - 3 * kSecond : pick(kYear2000 * 2);
            } while (size == evidence.fileSize && same(time, evidence.writeTime));
            if (place == real)
                machine.Put(place, evidence.fileSize, evidence.writeTime);
            else if (pick(4))
                machine.Put(place, size, time);
        }
        machine.drives.push_back("Z:\\");
        const cli::Suggestion got = cli::Suggest("Z:\\Program Files\\App 4.1\\app.exe", "C:\\x.lnk", evidence, machine);
        if (!real.empty()) {
            EXPECT_EQ(real, got.candidate);
            EXPECT_EQ(Grade::Exact, got.grade);
            EXPECT_EQ(0u, got.equallyGood);
            continue;
        }
        EXPECT_NE(Grade::Exact, got.grade) << got.candidate << ": " << got.evidence;
        EXPECT_TRUE(got.grade != Grade::Likely || machine.files[Lower(got.candidate)].size == evidence.fileSize ||
                    got.candidate.find("4.1") == std::string::npos)
            << got.candidate << ": " << got.evidence;
    }
}

TEST(Suggest, EqualsAreCountedAndTheFirstOrNewestProposed)
{
    FakeMachine twoDrives;
    twoDrives.drives.push_back("E:\\");
    twoDrives.Put("D:\\Tool\\tool.exe");
    twoDrives.Put("E:\\Tool\\tool.exe");
    twoDrives.Put("C:\\Tool 2\\tool.exe", 1, 1);  // a lesser grade counts for nothing
    cli::Suggestion got = cli::Suggest("C:\\Tool\\tool.exe", "", Stored(), twoDrives);
    EXPECT_EQ("D:\\Tool\\tool.exe", got.candidate);
    EXPECT_EQ(1u, got.equallyGood);

    FakeMachine versions;
    for (const char* name : {"App 4.2", "App 10.0", "App 9.9"})
        versions.Put(std::string("C:\\Program Files\\") + name + "\\app.exe", 1, 1);
    got = cli::Suggest("C:\\Program Files\\App 4.1\\app.exe", "", Stored(), versions);
    EXPECT_EQ("C:\\Program Files\\App 10.0\\app.exe", got.candidate);
    EXPECT_EQ(Grade::Likely, got.grade);
    EXPECT_EQ(2u, got.equallyGood);
}

TEST(Suggest, TheSearchIsBoundedWhateverTheMachineHolds)
{
    for (const bool entries : {false, true}) {
        SCOPED_TRACE(entries ? "300 uninstall entries" : "2,000 version folders");
        FakeMachine machine;
        machine.drives.clear();
        for (char letter = 'C'; letter <= 'Z'; ++letter)
            machine.drives.push_back(std::string(1, letter) + ":\\");
        for (int i = 0; i < 1000; ++i)
            for (const char* folder : {"C:\\Program Files\\App ", "C:\\Program Files (x86)\\App "})
                machine.Put(folder + std::to_string(i) + "\\app.exe", 1, 1);
        for (int i = 0; entries && i < 300; ++i)
            machine.installed.push_back({"App " + std::to_string(i), "C:\\Apps\\App" + std::to_string(i), ""});
        machine.shellAnswer = "K:\\Found\\app.exe";
        machine.Put(machine.shellAnswer);
        cli::LinkEvidence evidence = Stored();
        evidence.hasKnownFolder = true;
        const cli::Suggestion got = cli::Suggest("C:\\Program Files\\App 4.1\\app.exe", "", evidence, machine);
        EXPECT_EQ(cli::kMostCandidates, machine.asked.size());
        EXPECT_EQ(machine.asked.size(), got.tested);
        EXPECT_LE(machine.listings, cli::kMostSiblingFolders);
        EXPECT_LE(machine.largestLimit, cli::kMostSubFolders);
        EXPECT_EQ(machine.shellAnswer, got.candidate) << "the shell's answer keeps its slot";
        EXPECT_EQ(std::set<std::string>(machine.asked.begin(), machine.asked.end()).size(), machine.asked.size())
            << "a path asked about twice";
        for (const std::string& path : machine.asked)
            EXPECT_EQ("\\app.exe", path.substr(path.size() - 8)) << path;
    }
}

TEST(Suggest, VersionNumbersAreTakenOutOfFolderNames)
{
    const std::vector<std::pair<const char*, const char*>> rows{
        {"App 4.1", "app"}, {"app-v5", "app"}, {"Tool_V3.0.1", "tool"}, {"App 2.0 Beta", "app beta"},
        {"App_1.0-beta", "app beta"}, {"Vim", "vim"}, {"Dev2", "dev"}, {"v2", ""}, {"4.1", ""}, {"Apple", "apple"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.second, cli::VersionlessName(row.first)) << row.first;
}

TEST(Suggest, FileTimesReadAsCalendarDates)
{
    EXPECT_EQ("1601-01-01 00:00:00 UTC", cli::FileTimeText(0));
    EXPECT_EQ("1970-01-01 00:00:00 UTC", cli::FileTimeText(116444736000000000));
    EXPECT_EQ("2000-02-29 23:59:59 UTC", cli::FileTimeText(kYear2000 + (60 * 86400 - 1) * kSecond));
    EXPECT_EQ("2001-01-01 01:00:00 UTC", cli::FileTimeText(kYear2000 + (366 * 86400 + 3600) * kSecond + 9999999));
}

// Fails the test on any read past the size it told.
class WatchedSource : public scan::MemoryByteSource {
public:
    explicit WatchedSource(const std::string& bytes) : MemoryByteSource(bytes.data(), bytes.size()), m_size(bytes.size()) {}
    bool Read(std::uint64_t offset, void* buffer, std::size_t length) override
    {
        EXPECT_LE(offset + length, m_size) << "read past the end";
        return MemoryByteSource::Read(offset, buffer, length);
    }

private:
    std::size_t m_size;
};

bool Read(const std::string& bytes, cli::LinkEvidence& evidence)
{
    WatchedSource source(bytes);
    return cli::ReadLinkEvidence(source, evidence);
}

lnkkit::LinkParts FullParts()
{
    lnkkit::LinkParts parts = lnkkit::VariantNamed("shortblock").parts;
    parts.lastBlockShortBy = 0;
    parts.fileAttributes = 0x21;
    parts.creationTime = 0x01D0000012345678;
    parts.writeTime = 0x01DC1122AABBCCDD;
    parts.fileSize = 0xFEDCBA98;
    parts.driveType = cli::kDriveRemovable;
    parts.volumeSerial = 0xCAFE0042;
    parts.volumeLabel = "BACKUP";
    parts.trackerMachine = "BUILD-PC-0123456";  // all 16 bytes, no terminator
    // The known folder Program Files (x86): {7C5A40EF-A0FB-4BFC-874A-C0F2E0B9FA8E}.
    parts.knownFolder = std::string("\xEF\x40\x5A\x7C\xFB\xA0\xFC\x4B\x87\x4A\xC0\xF2\xE0\xB9\xFA\x8E", 16);
    return parts;
}

TEST(LinkEvidence, EveryFieldComesFromItsPlace)
{
    for (const bool wideLabel : {false, true}) {
        lnkkit::LinkParts parts = FullParts();
        parts.wideVolumeLabel = wideLabel;
        cli::LinkEvidence e;
        ASSERT_TRUE(Read(lnkkit::Build(parts), e));
        EXPECT_EQ(0x01DC1122AABBCCDDu, e.writeTime);
        EXPECT_EQ(0xFEDCBA98u, e.fileSize);
        EXPECT_TRUE(e.hasVolume);
        EXPECT_EQ(2u, e.driveType);
        EXPECT_EQ(0xCAFE0042u, e.volumeSerial);
        EXPECT_EQ("%SystemDrive%\\Apps\\Tool\\tool.exe", e.environmentTarget);
        EXPECT_TRUE(e.hasKnownFolder);
    }
    lnkkit::LinkParts bare = FullParts();
    bare.trackerIds = false;
    bare.localBasePath.clear();
    bare.netName = "\\\\S\\T";
    cli::LinkEvidence e;
    ASSERT_TRUE(Read(lnkkit::Build(bare), e));
    EXPECT_FALSE(e.hasVolume);
}

// Every cut of a full file, and thousands of mutated copies: the evidence is
// read exactly when the structure check passes, never from past the end,
// and what it holds is what the intact file says or nothing.
TEST(LinkEvidence, CutAndMutatedFilesNeverLeadItAstray)
{
    const std::string bytes = lnkkit::Build(FullParts());
    cli::LinkEvidence full;
    ASSERT_TRUE(Read(bytes, full));
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        const std::string part = bytes.substr(0, cut);
        WatchedSource whole(part);
        cli::LinkEvidence e;
        const bool read = Read(part, e);
        ASSERT_EQ(scan::CheckLinkStructure(whole), read) << "cut at " << cut;
        if (!read)
            continue;
        EXPECT_EQ(full.writeTime, e.writeTime);
        EXPECT_EQ(full.volumeSerial, e.volumeSerial);
        EXPECT_TRUE(e.environmentTarget.empty() || e.environmentTarget == full.environmentTarget) << cut;
    }
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string mutated = bytes;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
            mutated[random() % mutated.size()] = static_cast<char>(random() % 4 ? random() : 0xFF);
        WatchedSource whole(mutated);
        cli::LinkEvidence e;
        EXPECT_EQ(scan::CheckLinkStructure(whole), Read(mutated, e)) << "round " << round;
    }
}

// Through the command: the evidence and the shell's resolution come from the
// bytes the scan checked. The file store holds other bytes for the shortcut
// (as a file changed since the scan would): a second read would grade by them.
TEST(SuggestCommand, TheScansCheckedBytesAreReadOnce)
{
    fake::CallLog log;
    fake::FakeFileSystem fileSystem{log};
    fake::FakeScanHost host;
    fileSystem.SetDriveType("C:\\", scan::kDriveFixed);
    fileSystem.AddFolder("C:\\Menu");
    const std::string shortcut = "C:\\Menu\\App.lnk";
    fileSystem.AddShortcut(shortcut, "C:\\Program Files\\App 4.1\\app.exe");
    lnkkit::LinkParts parts = lnkkit::VariantNamed("local").parts;
    parts.fileSize = kStoredSize;
    parts.writeTime = kStoredTime;
    fileSystem.SetBytes(shortcut, lnkkit::Build(parts));
    host.folders = {"C:\\Menu"};
    fake::FakeFileStore store;
    parts.fileSize = kStoredSize + 1;
    store.Put(shortcut, lnkkit::Build(parts));
    FakeMachine machine;
    machine.Put("C:\\Program Files\\App 4.2\\app.exe");

    cli::CScanCommand command(fileSystem, host);
    command.SetMover(store);
    command.SetSuggestSource(machine);
    EXPECT_EQ(1, command.Run({"--suggest", "--format", "json", "C:\\Menu"})) << host.errors.size();
    const nlohmann::json rows = nlohmann::json::parse(host.output);
    ASSERT_EQ(1u, rows.size()) << host.output;
    EXPECT_EQ("C:\\Program Files\\App 4.2\\app.exe", rows[0]["candidate"]);
    EXPECT_EQ("exact", rows[0]["grade"]) << rows[0]["evidence"];
    EXPECT_EQ(0u, store.opened[shortcut]) << "the shortcut was read again";
}

}  // namespace
