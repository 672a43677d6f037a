// The scanner's command over the in-memory platform: its rows are the rows
// the dialog's engine lists for the same tree and options, folders are
// checked before anything is scanned, and the exit status tells a script
// what it needs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <set>
#include <string>
#include <vector>

#include "FakeScanHost.h"
#include "FakeScanPlatform.h"
#include "cli/ScanCommand.h"
#include "tests/cli/OutputReaders.h"

namespace {

using cli::ScanHost;
using Strings = std::vector<std::string>;

using FakeHost = fake::FakeScanHost;

class ScanCommandTest : public ::testing::Test {
protected:
    // A Start Menu in small: a present target, a missing one on the fixed
    // C:, one on a CD-ROM, one on a share, a folder target, an unreadable
    // shortcut, a .pif, and a second folder tree.
    void SetUp() override
    {
        fileSystem.SetDriveType("C:\\", scan::kDriveFixed);
        fileSystem.SetDriveType("R:\\", fake::kDriveCdrom);
        fileSystem.SetDriveType("\\\\srv\\share", fake::kDriveRemote);
        fileSystem.AddFolder("C:\\Apps");
        fileSystem.AddFile("C:\\Apps\\app.exe");

        fileSystem.AddFolder("C:\\Menu");
        fileSystem.AddShortcut("C:\\Menu\\present.lnk", "C:\\Apps\\app.exe");
        fileSystem.AddShortcut("C:\\Menu\\missing.lnk", "C:\\Apps\\gone.exe");
        fileSystem.AddShortcut("C:\\Menu\\cdrom.lnk", "R:\\Game\\run.exe");
        fileSystem.AddShortcut("C:\\Menu\\network.lnk", "\\\\srv\\share\\tool.exe");
        fileSystem.AddShortcut("C:\\Menu\\folder.lnk", "C:\\Apps");
        fileSystem.AddFile("C:\\Menu\\damaged.lnk");
        fileSystem.AddShortcut("C:\\Menu\\old.pif", "C:\\Apps\\app.exe");
        fileSystem.AddFolder("C:\\Menu\\Sub");
        fileSystem.AddShortcut("C:\\Menu\\Sub\\nested.lnk", "C:\\Apps\\deeper.exe");

        fileSystem.AddFolder("C:\\Other");
        fileSystem.AddShortcut("C:\\Other\\fine.lnk", "C:\\Apps\\app.exe");
        fileSystem.AddShortcut("C:\\Other\\cd only.lnk", "R:\\x.exe");

        host.folders = {"C:\\Menu", "C:\\Menu\\", "C:\\Other", "C:\\Menu\\Sub"};
        host.startMenu = "C:\\Menu";
    }

    int Run(const Strings& args)
    {
        host.Clear();
        log.Clear();
        return cli::CScanCommand(fileSystem, host).Run(args);
    }

    // The rows of the CSV output, header checked and left out.
    std::vector<clitest::Record> CsvRows() const
    {
        std::vector<clitest::Record> records;
        std::string error;
        EXPECT_TRUE(clitest::ReadCsv(host.output, records, error)) << error << "\n" << host.output;
        if (records.empty())
            return records;
        EXPECT_EQ((clitest::Record{"shortcut", "target", "status", "drive", "reason", "location", "profile",
                                   "detail", "kind"}),
                  records[0]);
        records.erase(records.begin());
        return records;
    }

    // "shortcut | target | image" of each row the dialog's engine lists.
    // The engine shows an unverified target as present.
    Strings EngineRows(const Strings& folders, bool ignoreRemovable, bool displayAll)
    {
        fake::CallLog engineLog;
        fake::FakeScanView view(engineLog);
        scan::CScanEngine engine(fileSystem, view);
        Strings rows;
        for (const std::string& folder : folders) {
            view.controls.scanFrom = folder;
            view.controls.ignoreRemovable = ignoreRemovable;
            view.controls.displayAll = displayAll;
            engine.OnScan();
            for (const fake::FakeRow& row : view.Rows())
                rows.push_back(row.item + " | " + row.value + " | " + std::to_string(row.image));
        }
        return rows;
    }

    static Strings Shown(const std::vector<clitest::Record>& records)
    {
        Strings rows;
        for (const clitest::Record& r : records)
            rows.push_back(r.at(0) + " | " + r.at(1) + " | " +
                           (r.at(2) == "present" || r.at(2) == "unverified" ? "1" : "0"));
        return rows;
    }

    static const clitest::Record* Find(const std::vector<clitest::Record>& records, const std::string& shortcut)
    {
        for (const clitest::Record& r : records)
            if (r.at(0) == shortcut)
                return &r;
        return nullptr;
    }

    fake::CallLog log;
    fake::FakeFileSystem fileSystem{log};
    FakeHost host;
};

TEST_F(ScanCommandTest, RowsAreTheEnginesUnderEachOptionWithStatusToMatch)
{
    struct Case {
        Strings options;
        bool ignoreRemovable, displayAll;
    } cases[] = {
        {{}, true, false},
        {{"--include-removable"}, false, false},
        {{"--all"}, true, true},
        {{"--all", "--include-removable"}, false, true},
    };
    for (const Case& c : cases) {
        Strings args = c.options;
        args.insert(args.end(), {"--format", "csv", "C:\\Menu"});
        SCOPED_TRACE(testing::PrintToString(args));
        const int status = Run(args);
        const std::vector<clitest::Record> rows = CsvRows();
        const Strings expected = EngineRows({"C:\\Menu"}, c.ignoreRemovable, c.displayAll);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(expected, Shown(rows)) << "same rows, same order";
        EXPECT_EQ(cli::kExitSomeMissing, status) << "the missing C: target is listed every time";
        EXPECT_TRUE(host.errors.empty());
        EXPECT_EQ(std::vector<ScanHost::Encoding>{ScanHost::Encoding::Utf8}, host.outputEncodings) << "csv is UTF-8";
    }
}

TEST_F(ScanCommandTest, DriveAndReasonOfEachKindOfRow)
{
    ASSERT_EQ(cli::kExitSomeMissing, Run({"--all", "--format", "csv", "C:\\Menu"}));
    const std::vector<clitest::Record> rows = CsvRows();
    struct Case {
        const char* shortcut;
        clitest::Record rest;  // status, drive, reason
    } cases[] = {
        {"C:\\Menu\\present.lnk", {"present", "fixed", ""}},
        {"C:\\Menu\\missing.lnk", {"missing", "fixed", "missing"}},
        {"C:\\Menu\\cdrom.lnk", {"missing", "cd-rom", "unreachable-drive"}},
        {"C:\\Menu\\network.lnk", {"missing", "network", "unreachable-drive"}},
        {"C:\\Menu\\folder.lnk", {"present", "fixed", ""}},
        {"C:\\Menu\\damaged.lnk", {"missing", "no-root", "unreadable"}},
        {"C:\\Menu\\old.pif", {"present", "fixed", ""}},
        {"C:\\Menu\\Sub\\nested.lnk", {"missing", "fixed", "missing"}},
    };
    ASSERT_EQ(sizeof cases / sizeof cases[0], rows.size());
    for (const Case& c : cases) {
        const clitest::Record* row = Find(rows, c.shortcut);
        ASSERT_NE(nullptr, row) << c.shortcut;
        EXPECT_EQ(c.rest, clitest::Record(row->begin() + 2, row->begin() + 5)) << c.shortcut;
        EXPECT_EQ((clitest::Record{"folder", "", "", std::string(c.shortcut).find(".pif") != std::string::npos ? "pif" : "lnk"}),
                  clitest::Record(row->begin() + 5, row->end())) << c.shortcut;
    }
    // Only the row that gave no target was read again.
    EXPECT_EQ((Strings{"C:\\Menu\\damaged.lnk"}), host.reread);
    // The drive type is asked of the target's root, as the filter asks it,
    // and once per root: with --all the engine asks nothing itself.
    Strings asked = log.Only({"DriveType"});
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ((Strings{"DriveType()", "DriveType(C:\\)", "DriveType(R:\\)", "DriveType(\\\\srv\\share)"}), asked);
}

TEST_F(ScanCommandTest, ExitStatusSaysWhetherAnyListedRowIsMissing)
{
    // A present target and one on a CD-ROM: by default nothing missing is
    // listed...
    EXPECT_EQ(cli::kExitNoneMissing, Run({"C:\\Other"}));
    // ...but once the CD-ROM row is listed, it is a listed missing row.
    EXPECT_EQ(cli::kExitSomeMissing, Run({"--include-removable", "C:\\Other"}));
    EXPECT_EQ(cli::kExitSomeMissing, Run({"--all", "C:\\Other"}));
    EXPECT_EQ(cli::kExitSomeMissing, Run({"C:\\Menu"}));

    // Present rows alone, listed or not, are no reason to act.
    fileSystem.AddFolder("C:\\Fine");
    fileSystem.AddShortcut("C:\\Fine\\a.lnk", "C:\\Apps\\app.exe");
    fileSystem.AddShortcut("C:\\Fine\\b.lnk", "C:\\Apps");
    host.folders.insert("C:\\Fine");
    EXPECT_EQ(cli::kExitNoneMissing, Run({"--all", "--include-removable", "C:\\Fine"}));
    EXPECT_NE(std::string::npos, host.output.find("2 shortcuts listed, 0 missing")) << host.output;
    EXPECT_EQ(cli::kExitNoneMissing, Run({"C:\\Fine"}));
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(ScanCommandTest, FoldersAreScannedInTheOrderGiven)
{
    ASSERT_EQ(cli::kExitSomeMissing, Run({"--all", "--format", "csv", "C:\\Other", "C:\\Menu\\"}));
    EXPECT_EQ(EngineRows({"C:\\Other", "C:\\Menu\\"}, true, true), Shown(CsvRows()));
    EXPECT_EQ("C:\\Other\\fine.lnk", CsvRows().front().at(0));
    EXPECT_EQ("C:\\Menu\\Sub\\nested.lnk", CsvRows().back().at(0));
}

TEST_F(ScanCommandTest, WithoutAFolderTheStartMenuIsScanned)
{
    ASSERT_EQ(cli::kExitSomeMissing, Run({"--format", "csv"}));
    EXPECT_EQ(EngineRows({"C:\\Menu"}, true, false), Shown(CsvRows()));

    host.startMenu.clear();
    EXPECT_EQ(cli::kExitRefused, Run({}));
    ASSERT_EQ(1u, host.errors.size());
    EXPECT_NE(std::string::npos, host.errors[0].find("Start Menu")) << host.errors[0];
    EXPECT_TRUE(host.output.empty());

    host.startMenu = "C:\\Gone";
    EXPECT_EQ(cli::kExitRefused, Run({}));
    ASSERT_EQ(1u, host.errors.size());
    EXPECT_NE(std::string::npos, host.errors[0].find("\"C:\\Gone\"")) << host.errors[0];
}

TEST_F(ScanCommandTest, AMissingFolderStopsEverythingBeforeTheScan)
{
    EXPECT_EQ(cli::kExitRefused, Run({"C:\\Menu", "C:\\Menu\\Gone", "C:\\Other"}));
    EXPECT_EQ((Strings{"veltmor-scan: no such folder: \"C:\\Menu\\Gone\""}), host.errors);
    EXPECT_TRUE(host.output.empty()) << host.output;
    EXPECT_TRUE(log.Only({"FindFirst", "ResolveShortcut"}).empty()) << "nothing was walked";

    // A file is not a folder to scan; neither is the empty path.
    EXPECT_EQ(cli::kExitRefused, Run({"C:\\Apps\\app.exe"}));
    EXPECT_EQ(cli::kExitRefused, Run({""}));
    EXPECT_EQ((Strings{"veltmor-scan: no such folder: \"\""}), host.errors);
}

TEST_F(ScanCommandTest, FolderPathsBeyondTheBufferAreRefusedWholeNeverCut)
{
    const std::string base = "C:\\" + std::string(200, 'd') + "\\";  // 204 characters
    struct Case {
        std::string path;
        bool scanned;
    } cases[] = {
        {base + std::string(54, 'f'), true},               // 258 + its backslash
        {base + std::string(54, 'f') + "\\", true},        // 259, backslash included
        {base + std::string(55, 'f'), false},              // 259: no room for the backslash
        {base + std::string(56, 'f'), false},              // 260
        {base + std::string(300, 'f') + "\\x", false},     // far beyond
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.size());
        host.folders.insert(c.path);
        const int status = Run({"--all", c.path});
        if (c.scanned) {
            // Walked, though no pattern fits below a path this long: the
            // exit status stays, and the folder is named and counted.
            EXPECT_EQ(cli::kExitNoneMissing, status);
            EXPECT_FALSE(log.Only({"AddBackslash"}).empty());
            const std::string folder = c.path.back() == '\\' ? c.path : c.path + "\\";
            EXPECT_EQ((Strings{"veltmor-scan: not scanned (path too long): " + folder}), host.errors);
            EXPECT_EQ("0 shortcuts listed, 0 missing, 1 not scanned\r\n", host.output);
            continue;
        }
        EXPECT_EQ(cli::kExitRefused, status);
        ASSERT_EQ(1u, host.errors.size());
        EXPECT_NE(std::string::npos, host.errors[0].find("too long")) << host.errors[0];
        EXPECT_NE(std::string::npos, host.errors[0].find("\"" + c.path + "\"")) << "the whole path is named";
        EXPECT_NE(std::string::npos, host.errors[0].find(std::to_string(c.path.size()) + " bytes"));
        EXPECT_TRUE(host.output.empty());
        EXPECT_TRUE(log.Only({"FindFirst"}).empty());
    }
}

TEST_F(ScanCommandTest, UsageErrorsHelpAndVersion)
{
    EXPECT_EQ(cli::kExitRefused, Run({"--format", "xml", "C:\\Menu"}));
    ASSERT_EQ(1u, host.errors.size());
    EXPECT_EQ(0u, host.errors[0].find("veltmor-scan: ")) << host.errors[0];
    EXPECT_NE(std::string::npos, host.errors[0].find("\"xml\"")) << host.errors[0];
    EXPECT_TRUE(host.output.empty());
    EXPECT_TRUE(log.All().empty()) << "nothing was touched";

    EXPECT_EQ(cli::kExitNoneMissing, Run({"--help"}));
    EXPECT_EQ(cli::ScanArguments::Usage(), host.output);
    EXPECT_TRUE(log.All().empty());

    EXPECT_EQ(cli::kExitNoneMissing, Run({"--version"}));
    EXPECT_EQ("1.1.1\r\n", host.output);
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(ScanCommandTest, JsonIsWrittenAsUtf8WithThePathsAsTheyAre)
{
    // The paths are UTF-8 already: none is converted again.
    fileSystem.AddShortcut("C:\\Menu\\Caf\xc3\xa9.lnk", "C:\\Apps\\gone.exe");
    ASSERT_EQ(cli::kExitSomeMissing, Run({"--format=json", "--include-removable", "C:\\Menu"}));
    EXPECT_EQ(std::vector<ScanHost::Encoding>{ScanHost::Encoding::Utf8}, host.outputEncodings);
    const nlohmann::json document = nlohmann::json::parse(host.output);
    const Strings expected = EngineRows({"C:\\Menu"}, false, false);
    ASSERT_EQ(expected.size(), document.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string shortcut = document[i]["shortcut"];
        EXPECT_EQ(0u, expected[i].find(shortcut + " | ")) << expected[i];
        EXPECT_EQ("missing", document[i]["status"]);
    }
}

TEST_F(ScanCommandTest, ReportFileSaysWhereAndWhenAndTheSummaryIsTheOnlyLine)
{
    const Strings scan = {"--include-removable", "--location", "desktop", "C:\\Menu"};
    Strings asJson = scan, asReport = scan;
    asJson.insert(asJson.end(), {"--format", "json"});
    asReport.insert(asReport.end(), {"--format", "report", "--output", "C:\\out.json", "--summary"});
    ASSERT_EQ(cli::kExitSomeMissing, Run(asJson));
    const nlohmann::json rows = nlohmann::json::parse(host.output);

    ASSERT_EQ(cli::kExitSomeMissing, Run(asReport));
    EXPECT_TRUE(host.errors.empty()) << host.errors[0];
    const std::string file = host.files["C:\\out.json"];
    EXPECT_EQ(file.find('\n'), file.size() - 1) << "one line";
    const nlohmann::json report = nlohmann::json::parse(file);
    EXPECT_EQ("scan-report", report["veltmor"]);
    EXPECT_EQ(1, report["schema"]);
    EXPECT_EQ(host.machineName, report["machine"]);
    EXPECT_EQ(host.userName, report["user"]);
    EXPECT_EQ(host.utcTime, report["time"]);
    EXPECT_EQ(Strings{"desktop"}, report["options"]["locations"].get<Strings>());
    EXPECT_EQ(true, report["options"]["includeRemovable"]);
    EXPECT_EQ(Strings{"left out: desktop (the shell has no such folder here)"}, report["notes"].get<Strings>());
    EXPECT_EQ(rows, report["rows"]);

    // Every missing row is named on the one line, after its count.
    std::size_t missing = 0;
    for (const nlohmann::json& row : rows)
        if (row["status"] == "missing") {
            ++missing;
            EXPECT_NE(std::string::npos, host.output.find(row["shortcut"].get<std::string>()));
        }
    EXPECT_EQ(0u, host.output.find("veltmor-scan: " + std::to_string(missing) + " broken shortcuts (")) << host.output;
    EXPECT_EQ(host.output.find('\n'), host.output.size() - 1) << host.output;

    // A run that fails says why after all, and has no summary.
    EXPECT_EQ(cli::kExitRefused, Run({"--summary", "C:\\Nowhere"}));
    EXPECT_EQ(1u, host.errors.size());
    EXPECT_TRUE(host.output.empty());
}

TEST_F(ScanCommandTest, OutputThatCannotBeWrittenIsAFailure)
{
    host.outputFails = true;
    EXPECT_EQ(cli::kExitRefused, Run({"C:\\Other"}));
    EXPECT_EQ((Strings{"veltmor-scan: cannot write the output"}), host.errors);
}

}  // namespace
