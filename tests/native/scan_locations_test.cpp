// Locations and profiles: their names on the command line, a profile's
// folders worked out for THAT profile, and the command's plan over a machine
// in memory: each folder once, the missing ones named, rows that say where
// they were found; then what a scan passes over, the re-read of empty
// targets, the 64-bit notice and the progress line.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "FakeScanHost.h"
#include "FakeScanPlatform.h"
#include "cli/ScanCommand.h"
#include "cli/ScanProgress.h"
#include "tests/cli/OutputReaders.h"

namespace {

using cli::Location;
using cli::ProfileRecord;
using Strings = std::vector<std::string>;

TEST(ScanArguments, LocationsEachOnceInTheOrderNamedOrRefused)
{
    using L = Location;
    const cli::ScanArguments parsed =
        cli::ScanArguments::Parse({"--location", "quick-launch,desktop", "--location=all", "--all-profiles"});
    ASSERT_EQ(cli::ScanArguments::Action::Scan, parsed.action) << parsed.problem;
    EXPECT_EQ((std::vector<Location>{L::QuickLaunch, L::Desktop, L::StartMenu, L::CommonStartMenu,
                                     L::CommonDesktop}),
              parsed.locations);
    EXPECT_TRUE(parsed.allProfiles);

    const struct {
        Strings args;
        const char* named;
    } refusals[] = {
        {{"--location"}, "--location needs a value"},
        {{"--location", "desktop,"}, "\"\""},
        {{"--location=Desktop"}, "\"Desktop\""},
        {{"--all-profiles", "C:\\x"}, "--location"},  // folders name no per-user location
    };
    for (const auto& refusal : refusals) {
        const cli::ScanArguments refused = cli::ScanArguments::Parse(refusal.args);
        EXPECT_EQ(cli::ScanArguments::Action::Refuse, refused.action) << refusal.named;
        EXPECT_NE(std::string::npos, refused.problem.find(refusal.named)) << refused.problem;
    }
}

TEST(ProfileFolders, VariablesAreThoseOfTheProfileNotOfThisProcess)
{
    ProfileRecord bob;
    bob.folder = "D:\\Users\\bob";
    bob.hiveLoaded = true;
    bob.environment = {{"HOMESHARE", "\\\\srv\\home\\bob"}, {"DOCS", "%USERPROFILE%\\Docs"}, {"LOOP", "x%LOOP%"}};
    bob.shellFolders = {{"AppData", "%USERPROFILE%\\Roaming"}};
    // This process's own values, which must not leak into bob's folders.
    const cli::MachineVariables machine = [](const std::string& name, std::string& value) {
        if (name == "SYSTEMDRIVE")
            value = "C:";
        else if (name == "HOMEDRIVE" || name == "USERPROFILE")
            value = "C:\\Users\\admin";
        else
            return false;
        return true;
    };
    const struct {
        const char* text;
        const char* expanded;  // nullptr: fails, naming the variable
        const char* named;
    } cases[] = {
        {"%USERPROFILE%\\Desktop", "D:\\Users\\bob\\Desktop", ""},
        {"%userprofile%\\x", "D:\\Users\\bob\\x", ""},
        {"%HOMESHARE%\\Desktop", "\\\\srv\\home\\bob\\Desktop", ""},
        {"%DOCS%\\Menu", "D:\\Users\\bob\\Docs\\Menu", ""},
        {"%APPDATA%\\Microsoft", "D:\\Users\\bob\\Roaming\\Microsoft", ""},
        {"%LOCALAPPDATA%", "D:\\Users\\bob\\AppData\\Local", ""},
        {"%SystemDrive%\\Menus", "C:\\Menus", ""},
        {"100% sure, a%%b%", "100% sure, a%%b%", ""},
        {"%HOMEDRIVE%%HOMEPATH%\\Desktop", nullptr, "%HOMEDRIVE%"},
        {"%LOOP%", nullptr, "without end"},
        {"%NOPE%\\x", "%NOPE%\\x", ""},  // set nowhere: left as the system leaves it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string expanded = "junk", problem;
        const bool ok = cli::ExpandForProfile(c.text, bob, machine, expanded, problem);
        EXPECT_EQ(c.expanded != nullptr, ok) << expanded;
        if (ok)
            EXPECT_EQ(c.expanded, expanded);
        else
            EXPECT_NE(std::string::npos, problem.find(c.named)) << problem;
    }
}

class PlacesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fileSystem.SetDriveType("C:\\", scan::kDriveFixed);
        // The current user "me", whose registry is loaded and whose folders
        // the shell gives; an old path to the same profile.
        Shortcut("C:\\Users\\me\\Start\\a.lnk");
        Shortcut("C:\\Users\\me\\Desktop\\c.lnk");
        Shortcut("C:\\Users\\me\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\"
                 "User Pinned\\TaskBar\\d.lnk");
        fileSystem.AddFolder("C:\\Documents and Settings");
        fileSystem.AddFolderLink("C:\\Documents and Settings\\me", "C:\\Users\\me");
        Shortcut("C:\\ProgramData\\Start\\b.lnk");
        host.startMenu = "C:\\Users\\me\\Start";
        host.locations = {
            {Location::CommonStartMenu, "C:\\ProgramData\\Start"},
            {Location::Desktop, "C:\\Users\\me\\Desktop"},
            {Location::CommonDesktop, "C:\\Users\\Public\\Desktop"},  // not there
            {Location::QuickLaunch,
             "C:\\Users\\me\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"},
        };
        host.currentProfile = "C:\\Users\\me";

        // me again, through the old path; bob, whose registry is not loaded
        // (the standard places, and no Quick Launch); cy, whose desktop lies
        // on a share this profile does not say; two that cannot be read.
        Shortcut("C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\e.lnk");
        Shortcut("C:\\Users\\bob\\Desktop\\f.lnk");
        Shortcut("C:\\Users\\cy\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\g.lnk");
        host.profiles = {
            Profile("S-1-5-21-1-2-3-1000", "C:\\Documents and Settings\\me", {{"Start Menu", "%USERPROFILE%\\Start"}}),
            Profile("S-1-5-21-1-2-3-1001", "C:\\Users\\bob"),
            Profile("S-1-5-21-1-2-3-1002", "C:\\Users\\cy", {{"Desktop", "%HOMESHARE%\\Desktop"}}),
            Profile("S-1-5-21-1-2-3-1003", "", {}, "no ProfileImagePath in the registry"),
            Profile("S-1-5-21-1-2-3-1004", "C:\\Users\\gone"),
        };
        // The old path reaches the same folders.
        for (const std::string& folder : Strings(host.folders.begin(), host.folders.end()))
            if (folder.rfind("C:\\Users\\me", 0) == 0)
                host.folders.insert("C:\\Documents and Settings\\me" + folder.substr(11));
    }

    static ProfileRecord Profile(const char* sid, const char* folder,
                                 const std::map<std::string, std::string>& shellFolders = {},
                                 const char* problem = "")
    {
        ProfileRecord profile;
        profile.sid = sid;
        profile.folder = folder;
        profile.hiveLoaded = !shellFolders.empty();
        profile.shellFolders = shellFolders;
        profile.problem = problem;
        return profile;
    }

    void Shortcut(const std::string& path)
    {
        const std::string folder = path.substr(0, path.find_last_of('\\'));
        fileSystem.AddFolder(folder);
        for (std::size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1))
            host.folders.insert(folder.substr(0, at));
        host.folders.insert(folder);
        fileSystem.AddShortcut(path, "C:\\gone.exe");
    }

    int Run(const Strings& args)
    {
        host.Clear();
        return cli::CScanCommand(fileSystem, host).Run(args);
    }

    // shortcut | location | profile of each CSV row.
    Strings Places() const
    {
        std::vector<clitest::Record> records;
        std::string error;
        EXPECT_TRUE(clitest::ReadCsv(host.output, records, error)) << error;
        Strings places;
        for (std::size_t i = 1; i < records.size(); ++i)
            places.push_back(records[i][0] + " | " + records[i][5] + " | " + records[i][6]);
        return places;
    }

    fake::CallLog log;
    fake::FakeFileSystem fileSystem{log};
    fake::FakeScanHost host;
};

TEST_F(PlacesTest, EveryLocationOfEveryProfileOnceWithWhereItWasFound)
{
    EXPECT_EQ(cli::kExitSomeMissing, Run({"--location", "all", "--all-profiles", "--format", "csv"}));
    const std::string qlaunch = "C:\\Users\\me\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch";
    const std::string menu = "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\";
    EXPECT_EQ((Strings{
                  "C:\\Users\\me\\Start\\a.lnk | start-menu | C:\\Users\\me",
                  "C:\\Users\\bob" + menu + "e.lnk | start-menu | C:\\Users\\bob",
                  "C:\\Users\\cy" + menu + "g.lnk | start-menu | C:\\Users\\cy",
                  "C:\\ProgramData\\Start\\b.lnk | common-start-menu | ",
                  "C:\\Users\\me\\Desktop\\c.lnk | desktop | C:\\Users\\me",
                  "C:\\Users\\bob\\Desktop\\f.lnk | desktop | C:\\Users\\bob",
                  qlaunch + "\\User Pinned\\TaskBar\\d.lnk | pinned | C:\\Users\\me",
              }),
              Places());
    EXPECT_EQ((Strings{
                  "veltmor-scan: left out: profile S-1-5-21-1-2-3-1003 (no ProfileImagePath in the registry)",
                  "veltmor-scan: left out: profile \"C:\\Users\\gone\" (its folder does not exist)",
                  "veltmor-scan: left out: desktop of profile \"C:\\Users\\cy\" (its Desktop folder "
                  "\"%HOMESHARE%\\Desktop\": %HOMESHARE% is not known for this profile)",
                  "veltmor-scan: left out: common-desktop (no such folder: \"C:\\Users\\Public\\Desktop\")",
                  "veltmor-scan: left out: quick-launch of profile \"C:\\Users\\bob\" (no such folder: "
                  "\"C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\")",
                  "veltmor-scan: left out: quick-launch of profile \"C:\\Users\\cy\" (no such folder: "
                  "\"C:\\Users\\cy\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\")",
              }),
              host.errors);

    // A given folder comes first, as given; a location reaching it again
    // adds nothing. Without --location the text reads as it always did.
    EXPECT_EQ(cli::kExitSomeMissing, Run({"--format", "csv", "--location", "start-menu", "C:\\Users\\me\\Start"}));
    EXPECT_EQ((Strings{"C:\\Users\\me\\Start\\a.lnk | folder | "}), Places());
    EXPECT_EQ(cli::kExitSomeMissing, Run({}));
    EXPECT_EQ(std::string::npos, host.output.find("Location")) << host.output;
}

TEST_F(PlacesTest, PassedOverReadAgainNoticeAndProgress)
{
    fileSystem.AddFolder("C:\\Users\\me\\Start\\Locked");
    fileSystem.MakeUnreadable("C:\\Users\\me\\Start\\Locked");
    fileSystem.AddShortcut("C:\\Users\\me\\Start\\app.lnk", "");
    fileSystem.AddShortcut("C:\\Users\\me\\Start\\msi.lnk", "");
    host.reasons = {{"C:\\Users\\me\\Start\\app.lnk", cli::MissingReason::NoFileTarget},
                    {"C:\\Users\\me\\Start\\msi.lnk", cli::MissingReason::InstallerManaged}};
    host.wow64 = true;

    // By default the empty targets are not listed, so nothing is read again.
    EXPECT_EQ(cli::kExitSomeMissing, Run({"--location", "start-menu"}));
    EXPECT_TRUE(host.reread.empty());
    EXPECT_EQ((Strings{"veltmor-scan: this is the 32-bit veltmor-scan on 64-bit Windows: Windows shows it "
                       "System32 as SysWOW64 and %ProgramFiles% as Program Files (x86), so it can call working "
                       "shortcuts broken; the 64-bit veltmor-scan.exe gives the right answer here",
                       "veltmor-scan: not scanned (cannot open folder): C:\\Users\\me\\Start\\Locked\\"}),
              host.errors);
    EXPECT_NE(std::string::npos, host.output.find("\r\n1 shortcut listed, 1 missing, 1 not scanned\r\n"));

    EXPECT_EQ(cli::kExitSomeMissing, Run({"--all", "--format", "csv", "--location", "start-menu"}));
    EXPECT_EQ((Strings{"C:\\Users\\me\\Start\\app.lnk", "C:\\Users\\me\\Start\\msi.lnk"}), host.reread);
    EXPECT_NE(std::string::npos, host.output.find("app.lnk,,missing,no-root,no-file-target,start-menu,"));
    EXPECT_NE(std::string::npos, host.output.find("msi.lnk,,missing,no-root,installer-managed,start-menu,"));
    EXPECT_TRUE(host.progress.empty()) << "not on a pipe or a file";

    // A refusal stays one line; the notice comes only with a scan.
    EXPECT_EQ(cli::kExitRefused, Run({"C:\\nowhere"}));
    EXPECT_EQ(1u, host.errors.size());

    // On a console: nothing for a short scan; a long one shows its line,
    // rewritten, and clears it at the end.
    host.console = true;
    Run({"--location", "start-menu"});
    EXPECT_TRUE(host.progress.empty());
    host.tick = cli::CScanProgress::kDelayMs;
    Run({"--location", "start-menu"});
    ASSERT_GE(host.progress.size(), 3u);
    EXPECT_EQ("", host.progress.back());
    EXPECT_EQ("scanning: 1 folders, 0 shortcuts; C:\\Users\\me\\Start\\", host.progress.front());
    EXPECT_EQ("scanning: 2 folders, 3 shortcuts; C:\\Users\\me\\Start\\Locked\\",
              host.progress[host.progress.size() - 2]);
}

}  // namespace

// A folder a user's own registry names may be cleaned by an administrator's
// run only when it lies among that user's own places.
TEST(ProfileFolders, AUserRedirectedFolderOutsideTheirOwnPlacesIsNeverCleaned)
{
    const std::vector<std::string> forbidden = {"C:\\Windows", "C:\\Program Files", "C:\\ProgramData",
                                                "C:\\Users\\bob"};
    const struct {
        const char* folder;
        bool safe;
    } cases[] = {
        {"C:\\Users\\ann\\Start Menu", true},
        {"\\\\server\\home\\ann\\Start Menu", true},
        {"D:\\Menus\\ann", true},
        {"C:\\", false},
        {"\\\\server\\home", false},
        {"Start Menu", false},
        {"C:\\Users\\ann\\..\\bob\\Start Menu", false},
        {"C:\\windows\\System32", false},
        {"C:\\Program Files", false},
        {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", false},
        {"C:\\Users\\bob\\AppData", false},
        {"C:\\Users", false},  // holds bob's profile
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.safe, cli::UnsafeUserFolder(c.folder, forbidden).empty()) << c.folder;
}

// A repair points a shortcut only where no user but its own may write.
TEST(ProfileFolders, ARepairedTargetLiesInAMachineFolderOrTheShortcutsOwnProfile)
{
    const std::vector<std::string> machine = {"C:\\Windows", "C:\\Program Files", "C:\\Program Files (x86)"};
    const std::vector<std::string> profiles = {"C:\\Users\\ann", "C:\\Users\\bob"};
    const std::string annsMenu = "C:\\Users\\ann\\Start Menu\\x.lnk", common = "C:\\ProgramData\\Start Menu\\x.lnk";
    const struct {
        const char* candidate;
        const std::string& shortcut;
        bool trusted;
    } cases[] = {
        {"C:\\Program Files\\App\\a.exe", common, true},
        {"c:\\program files (x86)\\App\\a.exe", common, true},
        {"C:\\Users\\ann\\AppData\\Local\\Programs\\a.exe", annsMenu, true},
        {"C:\\Users\\ann\\AppData\\Local\\Programs\\a.exe", common, false},
        {"C:\\Users\\bob\\a.exe", annsMenu, false},
        {"C:\\Program Filesx\\a.exe", common, false},
        {"C:\\Program Files\\..\\Users\\bob\\a.exe", common, false},
        {"C:\\ProgramData\\App\\a.exe", common, false},
        {"D:\\Apps\\a.exe", annsMenu, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.trusted, cli::UntrustedTarget(c.candidate, c.shortcut, machine, profiles).empty())
            << c.candidate << " for " << c.shortcut;
}
