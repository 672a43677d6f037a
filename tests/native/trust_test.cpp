// Who besides the administrators may change a folder or file, from
// descriptors as Windows writes them in SDDL, and the walks of a keeping
// folder's and a repair target's way over a table of such descriptors.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cli/Trust.h"

namespace {

using cli::TrustRole;

const std::string kAnn = "S-1-5-21-1-2-3-1001", kBob = "S-1-5-21-1-2-3-1002";
const std::string kTi = cli::kTrustedInstallerSid;

// Descriptors as Windows 10 writes them for its own folders.
const std::string kDriveRoot = "O:" + kTi + "G:" + kTi +
                               "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
                               "(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
const std::string kProgramData =
    "O:SYG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)(A;CI;DCLCRPCR;;;BU)";
const std::string kProgramFiles = "O:" + kTi + "D:PAI(A;;FA;;;" + kTi + ")(A;CIIO;GA;;;" + kTi +
                                  ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
                                  "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)";
const std::string kWindowsTemp =
    "O:SYD:PAI(A;OICIIO;GA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;CI;0x100026;;;BU)";
const std::string kLocked = "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

TEST(Trust, EachDescriptorIsJudgedByWhoElseMayChangeItInItsRole)
{
    const struct {
        const char* what;
        std::string sddl;
        std::string holder, above, target;  // who else may change it; "" none
    } cases[] = {
        {"the drive's root: users add folders", kDriveRoot, "S-1-5-11", "", "S-1-5-11"},
        {"ProgramData: users add files and folders", kProgramData, "S-1-5-32-545", "", "S-1-5-32-545"},
        {"Program Files", kProgramFiles, "", "", ""},
        {"Windows\\Temp", kWindowsTemp, "S-1-5-32-545", "", "S-1-5-32-545"},
        {"locked by the installer", kLocked, "", "", ""},
        {"owned by a user", "O:" + kAnn + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", kAnn, kAnn, kAnn},
        {"owned by TrustedInstaller", "O:" + kTi + "D:(A;;FA;;;SY)", "", "", ""},
        {"owned by the administrators, users may write", "O:BAD:(A;OICI;FA;;;BA)(A;;FW;;;BU)", "S-1-5-32-545", "",
         "S-1-5-32-545"},
        {"users' write inherit-only", "O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;FA;;;BU)", "S-1-5-32-545", "", ""},
        {"CREATOR OWNER inherit-only", "O:SYD:(A;OICI;FA;;;SY)(A;OICIIO;FA;;;CO)", "", "", ""},
        {"CREATOR OWNER and OWNER RIGHTS on itself", "O:SYD:(A;;FA;;;CO)(A;;FA;;;OW)", "", "", ""},
        {"Everyone full", "O:BAD:(A;;FA;;;WD)", "S-1-1-0", "S-1-1-0", "S-1-1-0"},
        {"everyone's write denied first", "O:BAD:(D;;FW;;;WD)(A;;FW;;;BU)", "", "", ""},
        {"a deny after the allow narrows nothing", "O:BAD:(A;;FW;;;BU)(D;;FW;;;BU)", "S-1-5-32-545", "",
         "S-1-5-32-545"},
        {"a deny for another account", "O:BAD:(D;;FW;;;IU)(A;;FW;;;BU)", "S-1-5-32-545", "", "S-1-5-32-545"},
        {"a deny that does not reach the children", "O:BAD:(D;;FW;;;BU)(A;OICI;FW;;;BU)", "S-1-5-32-545", "", ""},
        {"a conditional deny is not counted", "O:BAD:(XD;;FW;;;WD;(Member_of {SID(BA)}))(A;;FW;;;BU)",
         "S-1-5-32-545", "", "S-1-5-32-545"},
        {"denying the administrators widens nothing", "O:BAD:(D;;FA;;;BA)(A;;FA;;;SY)", "", "", ""},
        {"no access list", "O:BAD:NO_ACCESS_CONTROL", "S-1-1-0", "S-1-1-0", "S-1-1-0"},
        {"no DACL at all", "O:BA", "S-1-1-0", "S-1-1-0", "S-1-1-0"},
        {"an empty access list", "O:SYD:P", "", "", ""},
        {"delete-child as a number", "O:BAD:(A;;0x40;;;IU)", "S-1-5-4", "S-1-5-4", "S-1-5-4"},
        {"generic all", "O:BAD:(a;;ga;;;au)", "S-1-5-11", "S-1-5-11", "S-1-5-11"},
        {"generic read", "O:BAD:(A;;GR;;;AU)", "", "", ""},
        {"generic write, no delete", "O:BAD:(A;;GW;;;IU)", "S-1-5-4", "", "S-1-5-4"},
        {"take ownership", "O:BAD:(A;;WO;;;WD)", "S-1-1-0", "S-1-1-0", "S-1-1-0"},
        {"an unknown domain alias", "O:BAD:(A;;SD;;;DU)", "DU", "DU", "DU"},
        {"audit entries grant nothing", "O:BAD:(A;;FA;;;SY)S:(AU;SA;FA;;;WD)", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        cli::SecurityDescriptorText descriptor;
        std::string problem;
        ASSERT_TRUE(cli::ParseSddl(c.sddl, descriptor, problem)) << problem;
        EXPECT_EQ(c.holder, cli::Judge(descriptor, TrustRole::Holder).who);
        EXPECT_EQ(c.above, cli::Judge(descriptor, TrustRole::Above).who);
        EXPECT_EQ(c.target, cli::Judge(descriptor, TrustRole::Target).who);
    }

    // A profile's own user may write there; no one else may.
    cli::SecurityDescriptorText profile;
    std::string problem;
    ASSERT_TRUE(cli::ParseSddl("O:" + kAnn + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + kAnn + ")",
                               profile, problem));
    EXPECT_TRUE(cli::Judge(profile, TrustRole::Target, {kAnn}).empty());
    EXPECT_EQ(kAnn, cli::Judge(profile, TrustRole::Target, {kBob}).who);
}

TEST(Trust, TextThatIsNotWholeSddlIsRefused)
{
    for (const char* text : {"O:BAD:(A;;FA;;;BU", "O:ZZZ", "O:BAD:(Q;;FA;;;BU)", "O:BAD:(A;;FQ;;;BU)",
                             "O:BAD:(A;XX;FA;;;BU)", "O:BAD:(A;;FA;;BU)", "O:BAD:(A;;FA;;;BU)x", "BA",
                             "O:BAD:(A;;0x1FFFFFFFFF;;;BU)", "O:BAD:(A;;FA;;;S-1-5-x)"}) {
        cli::SecurityDescriptorText descriptor;
        std::string problem;
        EXPECT_FALSE(cli::ParseSddl(text, descriptor, problem)) << text;
        EXPECT_FALSE(problem.empty()) << text;
    }
}

TEST(Trust, TheWayDownFromARoot)
{
    using Way = std::vector<std::string>;
    EXPECT_EQ(Way({"C:\\"}), cli::WayDown("C:\\"));
    EXPECT_EQ(Way({"C:\\", "C:\\a", "C:\\a\\b c"}), cli::WayDown("C:\\a\\b c"));
    EXPECT_EQ(Way({"\\\\srv\\share\\", "\\\\srv\\share\\d"}), cli::WayDown("\\\\srv\\share\\d"));
    EXPECT_EQ(Way(), cli::WayDown("rel\\x"));
    EXPECT_EQ(Way(), cli::WayDown("C:\\a\\\\b"));
}

// The system's answers from a table.
class FakeSecurity : public cli::SecurityReader {
public:
    bool Elevated() override { return true; }
    std::string UserSid() override { return kAnn; }
    std::vector<std::string> MachineAccounts() override { return {}; }
    bool ModeDescriptors() override { return modes; }
    cli::ObjectSecurity Read(const std::string& path) override
    {
        const auto found = objects.find(path);
        cli::ObjectSecurity read;
        read.state = cli::ObjectSecurity::State::Missing;
        return found == objects.end() ? read : found->second;
    }
    std::string AccountName(const std::string& sid) override { return sid == kAnn ? "PC\\ann" : ""; }

    void Put(const std::string& path, const std::string& sddl)
    {
        objects[path].state = cli::ObjectSecurity::State::Found;
        objects[path].sddl = sddl;
    }
    std::map<std::string, cli::ObjectSecurity> objects;
    bool modes = false;
};

TEST(Trust, AKeepingFolderAndEveryFolderAboveItAreTheAdministratorsAlone)
{
    const std::string veltmor = "C:\\ProgramData\\Veltmor", dir = veltmor + "\\Quarantine";
    const struct {
        const char* what;
        std::map<std::string, std::string> sddl;  // by path; others missing
        std::string link;                         // a path that is a link
        std::string found;                        // "" trusted, else a piece of the reason
    } cases[] = {
        {"made by the installer, DIR there", {{veltmor, kLocked}, {dir, kLocked}}, "", ""},
        {"made by the installer, DIR still to make", {{veltmor, kLocked}}, "", ""},
        {"no Veltmor folder: DIR would be made in ProgramData", {}, "", "C:\\ProgramData\": S-1-5-32-545 may"},
        {"a user made Veltmor first",
         {{veltmor, "O:" + kAnn + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"}, {dir, kLocked}},
         "",
         "\"C:\\ProgramData\\Veltmor\" is owned by PC\\ann (" + kAnn + ")"},
        {"users' write passed on to the layout",
         {{veltmor, kLocked}, {dir, "O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;0x100116;;;BU)"}},
         "",
         "passes to what is made in it"},
        {"users may delete the folder the way goes through",
         {{veltmor, "O:BAD:P(A;OICI;FA;;;BA)(A;;DT;;;BU)"}, {dir, kLocked}},
         "",
         "S-1-5-32-545 may delete what it holds"},
        {"a link on the way", {{veltmor, kLocked}, {dir, kLocked}}, veltmor, "C:\\ProgramData\\Veltmor\" is a link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSecurity system;
        system.Put("C:\\", kDriveRoot);
        system.Put("C:\\ProgramData", kProgramData);
        for (const auto& object : c.sddl)
            system.Put(object.first, object.second);
        if (!c.link.empty())
            system.objects[c.link].state = cli::ObjectSecurity::State::Link;
        const std::string why = cli::UntrustedHolder(dir, system);
        if (c.found.empty())
            EXPECT_EQ("", why);
        else
            EXPECT_NE(std::string::npos, why.find(c.found)) << why;
    }

    // From Unix modes (Wine) a folder above is asked only who owns it: the
    // everyone-may-delete of /tmp is its dropped sticky bit. The folder
    // itself is judged whole.
    for (const bool modes : {false, true}) {
        SCOPED_TRACE(modes ? "from Unix modes" : "Windows");
        FakeSecurity system;
        system.modes = modes;
        system.Put("Z:\\", kLocked);
        system.Put("Z:\\tmp", "O:BAD:(A;OICI;0x1301ff;;;WD)");
        system.Put("Z:\\tmp\\w", kLocked);
        EXPECT_EQ(modes, cli::UntrustedHolder("Z:\\tmp\\w\\q", system).empty());
        EXPECT_NE("", cli::UntrustedHolder("Z:\\tmp\\q", system));
        system.Put("Z:\\tmp", "O:AND:(A;OICI;FA;;;AN)");
        EXPECT_NE(std::string::npos, cli::UntrustedHolder("Z:\\tmp\\w\\q", system).find("owned by S-1-5-7"));
    }
}

TEST(Trust, ANewTargetsWayIsWrittenByNoOneElse)
{
    const std::string pf = "C:\\Program Files", app = pf + "\\App", exe = app + "\\a.exe";
    const std::string profile = "C:\\Users\\ann", programs = profile + "\\Programs", tool = programs + "\\t.exe";
    const std::string annOnly = "O:" + kAnn + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + kAnn + ")";
    const struct {
        const char* what;
        std::string root, target, changed, sddl;  // changed: a path given sddl instead
        std::string found;
    } cases[] = {
        {"a program the installer put there", pf, exe, "", "", ""},
        {"users may add files beside it", pf, exe, app, kWindowsTemp, "S-1-5-32-545 may"},
        {"the program itself is a user's", pf, exe, exe, "O:" + kBob + "D:(A;;FA;;;SY)", "is owned by " + kBob},
        {"a folder on the way is a link", pf, exe, app, "link", "is a link"},
        {"the program is gone", pf, exe, exe, "missing", "does not exist"},
        {"not below the root", pf, tool, "", "", "does not lie below"},
        {"in the profile, written by its user", profile, tool, "", "", ""},
        {"in the profile, but another user may write", profile, tool, programs,
         "O:" + kAnn + "D:(A;;FA;;;" + kAnn + ")(A;;FW;;;" + kBob + ")", kBob + " may"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSecurity system;
        for (const std::string& path : {pf, app, exe})
            system.Put(path, kProgramFiles);
        for (const std::string& path : {profile, programs, tool})
            system.Put(path, annOnly);
        if (c.sddl == "link")
            system.objects[c.changed].state = cli::ObjectSecurity::State::Link;
        else if (c.sddl == "missing")
            system.objects.erase(c.changed);
        else if (!c.changed.empty())
            system.Put(c.changed, c.sddl);
        const std::string why = cli::UntrustedWay(c.root, c.target, {kAnn}, system);
        if (c.found.empty())
            EXPECT_EQ("", why);
        else
            EXPECT_NE(std::string::npos, why.find(c.found)) << why;
    }
}

}  // namespace
