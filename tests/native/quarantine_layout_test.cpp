// The quarantine folder's layout and its manifest: every original path maps
// to one place and back to itself, no path maps outside the folder, and a
// manifest someone else wrote is never taken for ours. The options: a
// restore scans nothing, and a dry run needs something to leave undone.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "FakeScanHost.h"
#include "FakeScanPlatform.h"
#include "cli/quarantine/QuarantineLayout.h"
#include "cli/ScanArguments.h"
#include "cli/ScanCommand.h"
#include "cli/quarantine/QuarantineManifest.h"

namespace {

TEST(QuarantineLayout, PlacesRoundTrip)
{
    const struct {
        const char* original;
        const char* place;
    } cases[] = {
        {"C:\\Users\\Ann\\Start Menu\\Old Tool.lnk", "C\\Users\\Ann\\Start Menu\\Old Tool.lnk"},
        {"D:\\a.pif", "D\\a.pif"},
        {"\\\\server\\share\\Apps\\Tool.lnk", "UNC\\server\\share\\Apps\\Tool.lnk"},
        {"C:\\caf\xc3\xa9\\x.lnk", "C\\caf\xc3\xa9\\x.lnk"},  // UTF-8 bytes pass untouched
    };
    for (const auto& c : cases) {
        std::string place, back;
        ASSERT_TRUE(cli::QuarantinePlace(c.original, place)) << c.original;
        EXPECT_EQ(c.place, place);
        ASSERT_TRUE(cli::OriginalPath(place, back)) << place;
        EXPECT_EQ(c.original, back);
    }
}

TEST(QuarantineLayout, RefusesWhatHasNoPlace)
{
    // Originals: roots, shares, relative or unnormalised paths, streams.
    for (const char* original : {"C:\\", "C:", "C:x.lnk", "x.lnk", "\\\\server\\share", "C:\\a\\..\\b.lnk",
                                 "C:\\a\\\\b.lnk", "C:\\a.lnk:stream", "\\\\.\\PhysicalDrive0\\x", "c:\\x.lnk"}) {
        std::string place;
        EXPECT_FALSE(cli::QuarantinePlace(original, place)) << original << " -> " << place;
    }
    // Places found in the folder that are not ours must not lead anywhere.
    for (const char* place : {"manifest.json", "C", "CD\\x.lnk", "UNC\\server\\share", "C\\..\\..\\x.lnk",
                              "C\\.\\x.lnk", "1\\x.lnk", "UNC\\?\\share\\x"}) {
        std::string original;
        EXPECT_FALSE(cli::OriginalPath(place, original)) << place << " -> " << original;
    }
}

TEST(QuarantineLayout, FullPathsAreMadePlain)
{
    const struct {
        const char* full;
        const char* plain;  // "" when refused
    } cases[] = {
        {"c:\\Quarantine\\", "C:\\Quarantine"},
        {"\\\\?\\C:\\Q", "C:\\Q"},
        {"\\\\?\\UNC\\srv\\share\\Q", "\\\\srv\\share\\Q"},
        {"C:\\", "C:\\"},
        {"\\\\.\\C:\\Q", ""},
        {"Q\\sub", ""},
    };
    for (const auto& c : cases) {
        std::string plain;
        EXPECT_EQ(*c.plain != '\0', cli::PlainFullPath(c.full, plain)) << c.full;
        EXPECT_EQ(c.plain, plain) << c.full;
    }
    EXPECT_TRUE(cli::IsWithin("c:\\q\\C\\x.lnk", "C:\\Q"));
    EXPECT_FALSE(cli::IsWithin("C:\\Quarantine2\\x.lnk", "C:\\Quarantine"));
}

TEST(QuarantineManifest, KeepsOtherFilesAndCarriesRowsIntoRestores)
{
    cli::CManifest manifest;
    for (const char* foreign : {"", "[]", "{\"entries\": []}", "{\"kind\": \"veltmor-scan quarantine\"}",
                                "{\"kind\": \"veltmor-scan quarantine\", \"entries\": {}}", "{\"kind\": 1"})
        EXPECT_FALSE(manifest.Load(foreign)) << foreign;

    cli::ManifestEntry moved;
    moved.action = "quarantine";
    moved.original = "C:\\a.lnk";
    moved.target = "C:\\gone.exe";
    moved.location = "start-menu";
    manifest.Add(moved);

    // What one run wrote, the next reads; a restore names the row it undoes.
    cli::CManifest next;
    ASSERT_TRUE(next.Load(manifest.Text()));
    cli::ManifestEntry restored;
    restored.action = "restore";
    restored.original = "C:\\a.lnk";
    next.Add(restored);
    const nlohmann::json entries = nlohmann::json::parse(next.Text())["entries"];
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("restore", entries[1]["action"]);
    EXPECT_EQ("C:\\gone.exe", entries[1]["target"]);
    EXPECT_EQ("start-menu", entries[1]["location"]);

    // A path whose bytes are not UTF-8 still gives a manifest a reader takes.
    moved.original = "C:\\\xe9.lnk";
    next.Add(moved);
    EXPECT_TRUE(cli::CManifest().Load(next.Text()));
}

TEST(QuarantineArguments, ARestoreTakesOnlyADryRun)
{
    using Args = std::vector<std::string>;
    cli::ScanArguments parsed = cli::ScanArguments::Parse({"--quarantine", "Q", "--dry-run", "--all", "F"});
    EXPECT_EQ("Q", parsed.quarantine);
    EXPECT_TRUE(parsed.dryRun);
    EXPECT_EQ(Args{"F"}, parsed.folders);
    parsed = cli::ScanArguments::Parse({"--dry-run", "--restore", "Q"});
    EXPECT_EQ("Q", parsed.restore);
    EXPECT_EQ(cli::ScanArguments::Action::Scan, parsed.action);
    parsed = cli::ScanArguments::Parse({"--repair", "R", "--evidence", "likely", "F"});
    EXPECT_EQ("R", parsed.repair);
    EXPECT_TRUE(parsed.suggest) << "a repair needs the suggestions";
    EXPECT_EQ(cli::Grade::Likely, parsed.evidence);
    EXPECT_EQ(cli::Grade::Exact, cli::ScanArguments::Parse({"--repair", "R"}).evidence);
    for (const Args& refused : {Args{"--quarantine"}, Args{"--quarantine", "--all"}, Args{"--restore", "Q", "F"},
                                Args{"--restore", "Q", "--all"}, Args{"--dry-run"},
                                Args{"--quarantine", "Q", "--restore", "R"}, Args{"--quarantine", "Q", "--repair", "R"},
                                Args{"--evidence", "exact"}, Args{"--repair", "R", "--evidence", "name-only"},
                                Args{"--suggest", "--dry-run"}})
        EXPECT_EQ(cli::ScanArguments::Action::Refuse, cli::ScanArguments::Parse(refused).action)
            << refused[0] << " " << refused.size();
}

TEST(QuarantineArguments, The32BitScannerOn64BitWindowsMovesNothing)
{
    fake::CallLog log;
    fake::FakeFileSystem fileSystem{log};
    fake::FakeScanHost host;
    host.wow64 = true;
    for (const char* option : {"--quarantine", "--repair"}) {
        host.Clear();
        EXPECT_EQ(cli::kExitRefused, cli::CScanCommand(fileSystem, host).Run({option, "Q", "C:\\Menu"}));
        ASSERT_EQ(1u, host.errors.size());
        EXPECT_EQ(0u, host.errors[0].find(std::string("veltmor-scan: ") + option + " needs the 64-bit veltmor-scan.exe"))
            << host.errors[0];
    }
}

}  // namespace
