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
    run.broken.push_back({"a&b.lnk", "C:\\x\xE2\x80\xA8y.exe", "missing", "desktop", ""});
    report::CFleet fleet;
    fleet.Add(run);
    const std::string data = report::PageData(fleet.Tables(run.seconds, 7), report::ReportContext());
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
        run.broken.push_back({"a.lnk", hostile, "missing", "desktop", ""});
        report::CFleet fleet;
        fleet.Add(run);
        const report::FleetTables tables = fleet.Tables(0, 7);
        for (const std::string& csv : {report::TargetsCsv(tables), report::MachinesCsv(tables)}) {
            EXPECT_NE(std::string::npos, csv.find("'" + hostile)) << hostile;
            EXPECT_EQ(std::string::npos, csv.find("\n" + hostile)) << hostile;
            EXPECT_EQ(std::string::npos, csv.find("," + hostile)) << hostile;
        }
    }
}

}  // namespace
