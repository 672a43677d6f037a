// --log's lines and files: one JSON object a line with the fields a log
// collector maps by name, a file a UTC day, and only our own day files
// expire, by whole days.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "cli/EventLog.h"

namespace {

TEST(EventLog, DayFilesAreNamedByTheUtcDayAndExpireByWholeDays)
{
    EXPECT_EQ("veltmor-20261208.jsonl", cli::LogFileName("2026-12-08T23:59:59Z"));
    for (const char* bad : {"", "2026-13-01T00:00:00Z", "2026/12/08", "20261208", "2026-12-32T00:00:00Z"})
        EXPECT_EQ("", cli::LogFileName(bad)) << bad;

    const std::vector<std::string> names = {
        "veltmor-20260301.jsonl", "veltmor-20260229.jsonl",  // no such day: never ours to remove
        "veltmor-20260228.jsonl", "veltmor-20260222.jsonl", "veltmor-20260221.jsonl", "veltmor-20251231.jsonl",
        "veltmor-2026022.jsonl",  "other-20200101.jsonl",   "veltmor-20200101.jsonl.tmp",
    };
    // Kept: the day itself and the six before it, over the end of February.
    const std::vector<std::string> expired = {"veltmor-20260221.jsonl", "veltmor-20251231.jsonl"};
    EXPECT_EQ(expired, cli::ExpiredLogFiles(names, "2026-02-28T10:00:00Z", 7));
    // Kept for one day: the day itself alone.
    EXPECT_EQ(std::vector<std::string>({"veltmor-20260222.jsonl", "veltmor-20260221.jsonl", "veltmor-20251231.jsonl"}),
              cli::ExpiredLogFiles(names, "2026-02-28T10:00:00Z", 1));
}

TEST(EventLog, EachLineStandsAloneWithTheFieldsCollectorsMap)
{
    cli::ScanRow broken, working, odd;
    broken.shortcut = "C:\\Users\\Ann\\Start Menu\\Old.lnk";
    broken.target = "C:\\Program Files\\Old\\old.exe";
    broken.driveType = 3;
    broken.location = "start-menu";
    working = broken;
    working.present = true;
    odd = broken;
    odd.shortcut = "C:\\bad \xff name\n.lnk";  // not UTF-8, and a line break
    const cli::LogSource source{"2026-12-08T09:00:00Z", "PC-1", "CONTOSO\\ann", "1.1.1"};
    cli::MoveEvent move;
    move.action = "quarantine";
    move.path = broken.shortcut;
    move.why = "a link lies on its way";
    const std::string text = cli::ScanLogLines(source, {broken, working, odd}, {}) + cli::MoveLogLines(source, {move});

    std::vector<nlohmann::json> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        ASSERT_NE(std::string::npos, end);
        const std::string line = text.substr(at, end - at);
        ASSERT_EQ(std::string::npos, line.find('\r'));
        lines.push_back(nlohmann::json::parse(line));
        at = end + 1;
    }
    ASSERT_EQ(5u, lines.size());
    const struct {
        const char* action;
        const char* outcome;
    } expected[] = {{"scan", "failure"}, {"scan", "failure"}, {"scan", "success"}, {"scan", "failure"},
                    {"quarantine", "failure"}};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const nlohmann::json& line = lines[i];
        EXPECT_EQ("2026-12-08T09:00:00Z", line["@timestamp"]);
        EXPECT_EQ("PC-1", line["host"]["name"]);
        EXPECT_EQ("CONTOSO\\ann", line["user"]["name"]);
        EXPECT_EQ("state", line["event"]["kind"]);
        EXPECT_EQ(expected[i].action, line["event"]["action"]);
        EXPECT_EQ(expected[i].outcome, line["event"]["outcome"]);
        EXPECT_EQ(1, line["veltmor"]["schema"]);
    }
    EXPECT_EQ("run", lines[0]["veltmor"]["status"]);
    EXPECT_EQ(2, lines[0]["veltmor"]["broken"]);
    EXPECT_EQ("missing", lines[1]["veltmor"]["reason"]);
    EXPECT_EQ(broken.target, lines[1]["file"]["target_path"]);
    EXPECT_TRUE(lines[2]["veltmor"]["reason"].is_null());
    EXPECT_EQ("C:\\bad \xef\xbf\xbd name\n.lnk", lines[3]["file"]["path"]);
    EXPECT_EQ("a link lies on its way", lines[4]["veltmor"]["detail"]);
}

}  // namespace
