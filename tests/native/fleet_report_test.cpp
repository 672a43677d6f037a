// The fleet report's edges that a generated fleet seldom reaches: times at
// the calendar's corners, program folders of every kind of path, and the
// page data that must not end its script element.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "report/Fleet.h"
#include "report/FleetFile.h"
#include "report/ReportWriter.h"

namespace {

TEST(FleetReport, TimesAreExactlyUtcAndReadBackAsWritten)
{
    struct {
        const char* text;
        bool good;
    } const cases[] = {
        {"1970-01-01T00:00:00Z", true},  {"2028-02-29T23:59:59Z", true},  {"2000-02-29T12:00:00Z", true},
        {"2027-02-29T00:00:00Z", false}, {"2100-02-29T00:00:00Z", false}, {"2026-04-31T00:00:00Z", false},
        {"2026-12-07T24:00:00Z", false}, {"2026-12-07T21:60:00Z", false}, {"2026-12-07 21:05:11Z", false},
        {"2026-12-07T21:05:11", false},  {"2026-12-07T21:05:11+01:00", false}, {"1969-12-31T23:59:59Z", false},
        {"2026-13-01T00:00:00Z", false}, {"2026-00-10T00:00:00Z", false}, {"２026-12-07T21:05:11Z", false},
    };
    for (const auto& c : cases) {
        std::int64_t seconds = -1;
        EXPECT_EQ(c.good, report::ParseUtcTime(c.text, seconds)) << c.text;
        if (c.good) {
            EXPECT_EQ(c.text, report::FormatUtcTime(seconds));
        }
    }
    std::int64_t leapDay = 0;
    ASSERT_TRUE(report::ParseUtcTime("2028-02-29T00:00:00Z", leapDay));
    EXPECT_EQ("2028-03-01", report::FormatUtcDay(leapDay / 86400 + 1));
}

TEST(FleetReport, ProgramFolderOfEachKindOfTarget)
{
    struct {
        const char* target;
        const char* folder;
    } const cases[] = {
        {"C:\\Program Files\\Foo Corp\\Foo\\foo.exe", "C:\\Program Files\\Foo Corp"},
        {"c:\\PROGRAM FILES (X86)\\Vendor\\a.exe", "c:\\PROGRAM FILES (X86)\\Vendor"},
        {"D:\\Program Files\\tool.exe", "D:\\Program Files"},
        {"C:\\Program Filesystem\\x\\y.exe", "C:\\Program Filesystem\\x"},
        {"C:\\Users\\bob\\AppData\\Local\\Programs\\Chat\\bin\\chat.exe",
         "C:\\Users\\*\\AppData\\Local\\Programs\\Chat"},
        {"C:\\Users\\bob\\Desktop\\notes.txt", "C:\\Users\\*\\Desktop"},
        {"C:\\Users\\bob", "C:\\Users"},
        {"\\\\server\\share\\apps\\erp.exe", "\\\\server\\share\\apps"},
        {"erp.exe", "erp.exe"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.folder, report::ProgramFolder(report::WithoutUser(c.target))) << c.target;
}

TEST(FleetReport, NothingInTheDataEndsItsScriptElement)
{
    report::ScanRun run;
    run.machine = "</script><script>alert(1)</script>";
    run.time = "2026-12-07T00:00:00Z";
    run.seconds = 1796601600;
    run.broken.push_back({"a&b.lnk", "C:\\x\xE2\x80\xA8y.exe", "missing", "desktop", "", "lnk"});
    report::CFleet fleet(run.seconds);
    fleet.Add("k", run);
    const std::string data = report::PageData(fleet.Tables(7), report::ReportContext());
    for (const char* unsafe : {"<", ">", "&", "\xE2\x80\xA8"})
        EXPECT_EQ(std::string::npos, data.find(unsafe)) << unsafe;
    EXPECT_NE(std::string::npos, data.find("\\u003c/script\\u003e"));
    const std::string page = report::Page("<p>\"__VELTMOR_DATA__\"</p>", data);
    EXPECT_EQ("<p>" + data + "</p>", page);
    EXPECT_EQ("", report::Page("<p>no place</p>", data));
}

TEST(FleetReport, NoCsvCellRunsAsASpreadsheetFormula)
{
    for (const std::string hostile : {"=1+1", "+1", "-1", "@SUM(A1)", "\tx", "\rx"}) {
        report::ScanRun run;
        run.machine = hostile;
        run.time = "2026-12-07T00:00:00Z";
        run.broken.push_back({"a.lnk", hostile, "missing", "desktop", "", "lnk"});
        report::CFleet fleet(0);
        fleet.Add("k", run);
        const report::FleetTables tables = fleet.Tables(7);
        for (const std::string& csv :
             {report::TargetsCsv(tables), report::MachinesCsv(tables), report::BrokenCsv(tables)}) {
            EXPECT_NE(std::string::npos, csv.find("'" + hostile)) << hostile;
            EXPECT_EQ(std::string::npos, csv.find("\n" + hostile)) << hostile;
            EXPECT_EQ(std::string::npos, csv.find("," + hostile)) << hostile;
        }
    }
}

}  // namespace

namespace {

TEST(FleetReport, MachineNamesFoldTrimAndRefuse)
{
    struct {
        const char* a;
        const char* b;  // the same machine as a; nullptr: a is refused
    } const cases[] = {
        {"ПК-1", "пк-1"},
        {"PC-SP ", "pc-sp"},
        {"\xC2\xA0PC-SP\xE3\x80\x80", "PC-SP"},  // no-break and ideographic spaces
        {"ΓΡΑΦΕΊΟ-ς", "γραφείο-Σ"},                // final sigma folds to sigma
        {"ÀÉÎÕÜ-Ÿ-ſ", "àéîõü-ÿ-s"},                // Latin-1, Ÿ outside it, long s
        {"ĀĲŁŊŽ", "āĳłŋž"},                         // Latin Extended-A, both pairings
        {"ЀЯѢӁӀԮ", "ѐяѣӂӏԯ"},                      // Cyrillic and its supplement
        {"ԱՖ", "աֆ"},                               // Armenian
        {"ＡＺ", "ａｚ"},                           // full-width Latin
        {"ẞỲ", "ßỳ"},                               // Latin Extended Additional
        {"µ", "μ"},
        {"", nullptr},
        {"   ", nullptr},
        {"PC-\n1", nullptr},
        {"PC-\xC2\x85" "1", nullptr},  // a C1 control
        {"PC-\xFF", nullptr},          // not UTF-8
        {"PC-\xC0\xAF", nullptr},      // an overlong '/'
    };
    for (const auto& c : cases) {
        std::string a, b, problem;
        const bool good = report::MachineKey(c.a, a, problem);
        EXPECT_EQ(c.b != nullptr, good) << c.a;
        if (c.b) {
            ASSERT_TRUE(report::MachineKey(c.b, b, problem)) << c.b;
            EXPECT_EQ(a, b) << c.a << " / " << c.b;
        } else {
            EXPECT_FALSE(problem.empty()) << c.a;
        }
    }
    // Kept apart: letters without a simple folding, and different names.
    for (const auto& pair : {std::make_pair("İ", "i"), std::make_pair("ß", "ss"), std::make_pair("PC-1", "PC-2"),
                             std::make_pair("PC-1", "PC 1")}) {
        std::string a, b, problem;
        ASSERT_TRUE(report::MachineKey(pair.first, a, problem) && report::MachineKey(pair.second, b, problem));
        EXPECT_NE(a, b) << pair.first;
    }
    EXPECT_EQ("PC-SP", report::TrimmedName(" PC-SP\xC2\xA0"));
}

std::string Report(const std::string& rows, const std::string& options = "{\"all\":true}")
{
    return "{\"veltmor\":\"scan-report\",\"schema\":1,\"version\":\"1.2.0\",\"machine\":\"PC-1\",\"user\":\"u\","
           "\"time\":\"2026-12-06T00:00:00Z\",\"options\":" +
           options + ",\"extra\":{\"rows\":[1,{\"a\":[]}]},\"notes\":[\"n\"],\"rows\":[" + rows + "]}";
}

std::string Row(const char* status, const char* reason, const char* name = "a.lnk")
{
    return std::string("{\"shortcut\":\"") + name + "\",\"target\":\"C:\\\\t.exe\",\"status\":\"" + status +
           "\",\"drive\":\"fixed\",\"reason\":" + (reason ? std::string("\"") + reason + "\"" : "null") +
           ",\"location\":\"desktop\",\"profile\":\"\",\"detail\":null}";
}

TEST(FleetReport, OnlyTheBrokenReasonsCountAsBroken)
{
    const std::string rows = Row("missing", "missing") + "," + Row("missing", "unreadable") + "," +
                             Row("missing", "unreachable-drive") + "," + Row("missing", "installer-managed") + "," +
                             Row("missing", "no-file-target") + "," + Row("unverified", "unverified") + "," +
                             Row("present", nullptr) + "," + Row("not-scanned", "cannot-open");
    for (const char* options : {"{\"all\":true}", "{\"all\":false}", "null"}) {
        report::ScanRun run;
        std::string problem;
        ASSERT_TRUE(report::ReadScanRun(Report(rows, options), run, problem)) << problem;
        ASSERT_EQ(2u, run.broken.size());
        EXPECT_EQ("missing", run.broken[0].reason);
        EXPECT_EQ("unreadable", run.broken[1].reason);
        ASSERT_EQ(1u, run.unreachable.size());
        EXPECT_EQ(1u, run.unverified);
        EXPECT_EQ(std::string(options) == "{\"all\":true}", run.unverifiedRecorded) << options;
        EXPECT_EQ(1u, run.notScanned.size());
        EXPECT_EQ(std::vector<std::string>{"n"}, run.notes);
        EXPECT_EQ("PC-1", run.machine);
    }
}

TEST(FleetReport, ARunFileIsRefusedWhenDamagedOrOverTheRowLimit)
{
    std::string many;
    for (std::size_t i = 0; i < report::kMaxRows; ++i)
        many += (i ? "," : "") + std::string("{\"status\":\"present\"}");
    struct {
        std::string text;
        bool good;
    } const cases[] = {
        {Report(many), true},
        {Report(many + ",{\"status\":\"present\"}"), false},
        {Report(Row("missing", "gone")), false},
        {Report(Row("lost", nullptr)), false},
        {Report("[]"), false},
        {Report("\"x\""), false},
        {Report(Row("missing", "missing")).substr(0, 200), false},
        {"[" + Row("missing", "missing") + "]", false},
        {"42", false},
        {std::string(100, '[') + std::string(100, ']'), false},
    };
    for (const auto& c : cases) {
        report::ScanRun run;
        std::string problem;
        EXPECT_EQ(c.good, report::ReadScanRun(c.text, run, problem)) << c.text.substr(0, 120) << ": " << problem;
        EXPECT_EQ(c.good, problem.empty()) << problem;
    }
}

TEST(FleetReport, ClockAheadIsSetAsideAndChangesFollowTheRuns)
{
    const std::int64_t asOf = 1796601600;  // 2026-12-07T00:00:00Z
    const auto run = [](std::int64_t seconds, std::vector<const char*> broken) {
        report::ScanRun r;
        r.machine = "PC-1 ";
        r.seconds = seconds;
        r.time = report::FormatUtcTime(seconds);
        r.file = "PC-1/" + r.time + ".json";
        for (const char* name : broken)
            r.broken.push_back({name, "C:\\t.exe", "missing", "desktop", "", "lnk"});
        return r;
    };
    report::CFleet fleet(asOf);
    EXPECT_TRUE(fleet.Add("pc-1", run(asOf - 10 * 86400, {"a", "b"})));  // the week's baseline
    EXPECT_TRUE(fleet.Add("pc-1", run(asOf - 2 * 86400, {"b", "c", "d"})));
    EXPECT_TRUE(fleet.Add("pc-1", run(asOf - 86400, {"c", "e"})));
    EXPECT_TRUE(fleet.Add("pc-1", run(asOf + 86400, {"a"})));  // a day ahead: still counted
    EXPECT_FALSE(fleet.Add("pc-1", run(asOf + 365 * 86400, {})));
    EXPECT_EQ(1u, fleet.SameTime("pc-1", asOf - 86400).size());
    const report::FleetTables tables = fleet.Tables(7);
    ASSERT_EQ(1u, tables.machines.size());
    const report::MachineState& machine = tables.machines[0];
    EXPECT_EQ("PC-1", machine.latest->machine);
    EXPECT_EQ(4u, machine.runs);
    EXPECT_EQ(asOf + 86400, machine.latest->seconds);
    ASSERT_EQ(1u, machine.fresh.size());
    EXPECT_EQ(0u, machine.fresh[0]);  // "a" came back
    ASSERT_EQ(2u, machine.fixed.size());
    EXPECT_EQ("c", machine.fixed[0].shortcut);
    EXPECT_EQ("e", machine.fixed[1].shortcut);
    EXPECT_EQ(1u, tables.weekMachines);
    EXPECT_TRUE(tables.weekNew.empty());  // "a" then, "a" now
    ASSERT_EQ(1u, tables.weekFixed.size());
    EXPECT_EQ("b", tables.weekFixed[0].row.shortcut);
    ASSERT_EQ(1u, tables.ahead.size());
    EXPECT_EQ("PC-1", tables.ahead[0].machine);
    EXPECT_EQ("2026-12-08", tables.trend.back().day);  // not stretched to the run a year ahead
}

}  // namespace
