// The journal of a killed run is a claim, not an order: each line is folded
// in only as far as the files prove it happened, forged lines are named and
// never acted on, a half-done repair or restore is finished or undone, and a
// restore of tens of thousands of files stays linear.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "FakeFileStore.h"
#include "FakeScanHost.h"
#include "FakeScanPlatform.h"
#include "cli/quarantine/Quarantine.h"
#include "cli/quarantine/QuarantineManifest.h"
#include "scan/LinkStructure.h"

namespace {

const std::string kDir = "C:\\Q";
const std::string kShortcut = "C:\\Users\\Ann\\Start Menu\\Tool.lnk";
const std::string kPlace = "C\\Users\\Ann\\Start Menu\\Tool.lnk";
const std::string kKept = kDir + "\\" + kPlace;
const std::string kOld = "old shortcut bytes", kNew = "repaired shortcut bytes";

std::string Line(const std::string& action, const std::string& original, const std::string& place,
                 const std::string& digest, const std::string& repairedDigest = std::string())
{
    cli::ManifestEntry entry;
    entry.action = action;
    entry.original = original;
    entry.place = place;
    entry.time = "2026-12-08T08:00:00Z";
    entry.digest = digest;
    entry.repairedDigest = repairedDigest;
    entry.newTarget = repairedDigest.empty() ? "" : "C:\\Program Files\\Tool 4.2\\tool.exe";
    return cli::CManifest::JournalLine(entry);
}

struct Folder {
    fake::FakeFileStore store;
    fake::FakeScanHost host;
    fake::CallLog log;
    fake::FakeFileSystem fileSystem{log};

    // Opens the folder as a restore does (folding the journal in), then
    // restores: the exit status.
    int Restore()
    {
        cli::CQuarantine quarantine(store, fileSystem, host);
        const std::string problem = quarantine.Open(kDir, cli::CQuarantine::Purpose::Restore, false);
        EXPECT_EQ("", problem);
        return problem.empty() ? quarantine.Restore() : cli::kExitSomeLeft + 1;
    }
    std::string Errors() const
    {
        std::string all;
        for (const std::string& line : host.errors)
            all += line + "\n";
        return all;
    }
};

TEST(JournalReplay, OnlyWhatTheFilesProveIsFoldedIn)
{
    const std::string other = "C:\\Users\\Bob\\Desktop\\Bank.lnk";
    const struct {
        const char* what;
        std::string journal;
        bool keptOld;         // the layout holds the old bytes at kPlace
        std::string now;      // the shortcut's bytes now; "" when absent
        std::string after;    // its bytes after the restore; "" when absent
        bool keptAfter;       // the layout still holds a copy
        const char* named;    // on standard error; "" when nothing
    } cases[] = {
        {"a move the layout proves", Line("moving", kShortcut, kPlace, scan::Digest(kOld)), true, "", kOld, false, ""},
        {"a half-done repair, file unchanged: its kept copy goes",
         Line("repairing", kShortcut, kPlace, scan::Digest(kOld), scan::Digest(kNew)), true, kOld, kOld, false, ""},
        {"a half-done repair, file changed: a repair, undone by the restore",
         Line("repairing", kShortcut, kPlace, scan::Digest(kOld), scan::Digest(kNew)), true, kNew, kOld, false, ""},
        {"a half-done restore cut after the copy was made: the copy is cut short and made again",
         Line("restoring", kShortcut, kPlace, scan::Digest(kOld)), true, "old sh", kOld, false, ""},
        {"a forged repair with no kept copy never writes over the shortcut",
         Line("repair", other, "C\\Users\\Bob\\Desktop\\Bank.lnk", scan::Digest("planted"), scan::Digest("bank")),
         false, "", "", false, "no kept copy"},
        {"a forged move whose place is not its path's",
         Line("quarantine", other, "..\\..\\Windows\\evil.lnk", scan::Digest(kOld)), true, "", kOld, false,
         "paths do not match"},
        {"a forged move out of the folder through ..",
         Line("moving", "C:\\Q\\..\\Windows\\x.lnk", "C\\Windows\\x.lnk", scan::Digest(kOld)), true, "", kOld, false,
         "paths do not match"},
        {"a move whose layout file holds other bytes",
         Line("quarantine", kShortcut, kPlace, scan::Digest("something else")), true, "", kOld, false,
         "other bytes"},
        {"not an action of ours", Line("delete", kShortcut, kPlace, scan::Digest(kOld)), true, "", kOld, false,
         "not an action"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder run;
        run.store.folders.insert(kDir);
        run.store.Put(kDir + "\\journal.jsonl", c.journal);
        if (c.keptOld)
            run.store.Put(kKept, kOld);
        if (!c.now.empty())
            run.store.Put(kShortcut, c.now);
        run.store.Put(other, "bank");
        run.Restore();
        EXPECT_EQ(c.after, run.store.files.count(kShortcut) ? run.store.files[kShortcut] : "");
        EXPECT_EQ(c.keptAfter, run.store.files.count(kKept) > 0);
        EXPECT_EQ("bank", run.store.files[other]);
        if (*c.named)
            EXPECT_NE(std::string::npos, run.Errors().find(c.named)) << run.Errors();
        else
            EXPECT_EQ(std::string::npos, run.Errors().find("ignored")) << run.Errors();
    }
}

TEST(JournalReplay, ManifestAndJournalAreRefusedByTheirSizeAlone)
{
    for (const char* name : {"manifest.json", "journal.jsonl"}) {
        Folder run;
        run.store.folders.insert(kDir);
        const bool manifest = std::string(name) == "manifest.json";
        run.store.Put(kDir + "\\" + name, std::string((manifest ? cli::kLargestManifest : cli::kLargestJournal) + 1, '{'));
        cli::CQuarantine quarantine(run.store, run.fileSystem, run.host);
        EXPECT_NE(std::string::npos,
                  quarantine.Open(kDir, cli::CQuarantine::Purpose::Restore, false).find("larger than")) << name;
    }
}

TEST(Restore, TensOfThousandsOfFilesAllBackInLinearTime)
{
    constexpr int kFiles = 20000;
    Folder run;
    run.store.folders.insert(kDir);
    cli::CManifest manifest;
    for (int i = 0; i < kFiles; ++i) {
        const std::string folder = "Users\\Ann\\Start Menu\\F" + std::to_string(i / 100);
        const std::string original = "C:\\" + folder + "\\s" + std::to_string(i) + ".lnk";
        run.store.Put(kDir + "\\C\\" + folder + "\\s" + std::to_string(i) + ".lnk", std::to_string(i));
        cli::ManifestEntry entry;
        entry.action = "quarantine";
        entry.original = original;
        entry.place = "C\\" + folder + "\\s" + std::to_string(i) + ".lnk";
        entry.digest = scan::Digest(std::to_string(i));
        manifest.Add(entry);
    }
    run.store.Put(kDir + "\\manifest.json", manifest.Text());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(cli::kExitAllMoved, run.Restore());
    // A scan of every entry for each file would take minutes here.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    for (int i = 0; i < kFiles; i += 997)
        EXPECT_EQ(std::to_string(i),
                  run.store.files["C:\\Users\\Ann\\Start Menu\\F" + std::to_string(i / 100) + "\\s" +
                                  std::to_string(i) + ".lnk"]);
}

}  // namespace
