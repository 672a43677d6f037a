// Another user's shortcut whose target is stored as "%LOCALAPPDATA%\...":
// veltmor-scan --all-profiles judges it by that user's folder, never the
// caller's, and calls one whose variable cannot be known for that user
// unverified. Shortcuts built byte by byte: Wine's shell gives no target for
// them at all.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>

#include "ChildProcess.h"
#include "Scanner.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "tests/kit/LnkBuilder.h"

namespace {

TEST(ProfileVariables, AnotherProfilesTargetIsExpandedWithItsOwnValues)
{
    const wintest::CTempFolder root("vp");
    const std::string dee = root / "Profiles\\dee";
    const std::string sid = "S-1-5-21-7-7-7-1003";
    const std::string list = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid;
    ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_LOCAL_MACHINE, list.c_str(), "ProfileImagePath", REG_EXPAND_SZ,
                                         dee.c_str(), static_cast<DWORD>(dee.size() + 1)));
    const std::string startMenu = dee + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\";
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, startMenu.c_str(), NULL));
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, (dee + "\\AppData\\Local\\Programs").c_str(), NULL));
    ASSERT_TRUE(wintest::MakeFile(dee + "\\AppData\\Local\\Programs\\app.exe"));

    // shortcut, stored target, expected status, expected target
    const struct {
        const char* name;
        const char* stored;
        const char* status;
        std::string target;
    } cases[] = {
        {"app.lnk", "%LOCALAPPDATA%\\Programs\\app.exe", "present", dee + "\\AppData\\Local\\Programs\\app.exe"},
        {"gone.lnk", "%LocalAppData%\\Programs\\gone.exe", "missing", dee + "\\AppData\\Local\\Programs\\gone.exe"},
        {"share.lnk", "%HOMESHARE%\\tools\\x.exe", "unverified", "%HOMESHARE%\\tools\\x.exe"},
    };
    for (const auto& c : cases) {
        lnkkit::LinkParts parts;
        parts.environmentTarget = c.stored;
        ASSERT_TRUE(wintest::WriteBytes(startMenu + c.name, lnkkit::Build(parts)));
    }

    const clitest::ChildResult run = clitest::RunScanner({"--all-profiles", "--all", "--format", "json"});
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, list.c_str());
    const nlohmann::json rows = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(rows.is_array()) << run.out << run.err;
    std::map<std::string, nlohmann::json> found;
    for (const auto& row : rows)
        found[row["shortcut"]] = row;
    for (const auto& c : cases) {
        const nlohmann::json& row = found[startMenu + c.name];
        ASSERT_TRUE(row.is_object()) << c.name << "\n" << run.out;
        EXPECT_EQ(row["status"], c.status) << c.name;
        EXPECT_EQ(row["target"], c.target) << c.name;
        EXPECT_EQ(row["profile"], dee) << c.name;
    }
}

}  // namespace
