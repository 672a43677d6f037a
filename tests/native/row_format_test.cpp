// The scanner's rows and their three formats. Every format is read back with
// a reader written apart from the formatter (tests/cli/OutputReaders.h, and
// nlohmann for JSON) and compared field by field with the rows given.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "cli/RowFormat.h"
#include "cli/ScanRow.h"
#include "tests/cli/OutputReaders.h"

namespace {

using cli::MissingReason;
using cli::ScanRow;

constexpr unsigned kUnknown = 0, kNoRoot = 1, kRemovable = 2, kFixed = 3, kRemote = 4, kCdrom = 5,
                   kRamdisk = 6;

ScanRow Row(const std::string& shortcut, const std::string& target, bool present, unsigned driveType,
            MissingReason emptyTarget = MissingReason::Unreadable, const std::string& location = "folder",
            const std::string& profile = "")
{
    ScanRow row;
    row.shortcut = shortcut;
    row.target = target;
    row.present = present;
    row.driveType = driveType;
    row.emptyTarget = emptyTarget;
    row.location = location;
    row.profile = profile;
    return row;
}

// Rows whose names carry what each format must protect; text is UTF-8.
std::vector<ScanRow> AwkwardRows()
{
    return {
        Row("C:\\Menu\\O'Brien, Caf\xc3\xa9\\Men\xc3\xbb.lnk", "C:\\Apps\\men\xc3\xbb.exe", true, kFixed),
        Row("C:\\Menu\\Say \"Hi\".lnk", "C:\\Apps\\say \"hi\", \"bye\".exe", false, kFixed),
        Row("C:\\Menu\\line\nbreak.lnk", "C:\\Apps\\cr\rlf\r\n.exe", false, kFixed),
        Row("C:\\Menu\\damaged.lnk", "", false, kNoRoot, MissingReason::Unreadable, "desktop",
            "C:\\Users\\O'Brien, Caf\xc3\xa9"),
        Row("C:\\Menu\\cd.lnk", "R:\\Game\\run.exe", false, kCdrom, MissingReason::Unreadable, "start-menu",
            "C:\\Users\\\"q\""),
        Row("C:\\Menu\\trailing comma,", "\"", false, kRemote),
    };
}

TEST(ScanRow, ReasonFollowsPresenceTargetAndDriveType)
{
    struct Case {
        ScanRow row;
        MissingReason reason;
        const char* reasonName;
    } cases[] = {
        {Row("a.lnk", "C:\\x.exe", true, kFixed), MissingReason::None, ""},
        {Row("a.lnk", "R:\\x.exe", true, kCdrom), MissingReason::None, ""},
        {Row("a.lnk", "C:\\x.exe", false, kFixed), MissingReason::Missing, "missing"},
        {Row("a.lnk", "", false, kFixed), MissingReason::Unreadable, "unreadable"},
        {Row("a.lnk", "", false, kNoRoot, MissingReason::NoFileTarget), MissingReason::NoFileTarget, "no-file-target"},
        {Row("a.lnk", "", false, kNoRoot, MissingReason::InstallerManaged), MissingReason::InstallerManaged,
         "installer-managed"},
        {Row("a.lnk", "Q:\\x.exe", false, kNoRoot), MissingReason::UnreachableDrive, "unreachable-drive"},
        {Row("a.lnk", "A:\\x.exe", false, kRemovable), MissingReason::UnreachableDrive, "unreachable-drive"},
        {Row("a.lnk", "\\\\srv\\s\\x.exe", false, kRemote), MissingReason::UnreachableDrive, "unreachable-drive"},
        {Row("a.lnk", "R:\\x.exe", false, kCdrom), MissingReason::UnreachableDrive, "unreachable-drive"},
        {Row("a.lnk", "T:\\x.exe", false, kRamdisk), MissingReason::UnreachableDrive, "unreachable-drive"},
        {Row("a.lnk", "?:\\x.exe", false, kUnknown), MissingReason::UnreachableDrive, "unreachable-drive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row.target + " type " + std::to_string(c.row.driveType));
        EXPECT_EQ(c.reason, c.row.Reason());
        EXPECT_STREQ(c.reasonName, c.row.ReasonName());
        EXPECT_STREQ(c.row.present ? "present" : "missing", c.row.StatusName());
    }
}

TEST(CsvFormat, ReadsBackFieldForFieldWhateverTheNamesHold)
{
    const std::vector<ScanRow> rows = AwkwardRows();
    const std::string csv = cli::FormatCsv(rows);

    std::vector<clitest::Record> records;
    std::string error;
    ASSERT_TRUE(clitest::ReadCsv(csv, records, error)) << error << "\n" << csv;
    ASSERT_EQ(rows.size() + 1, records.size());
    EXPECT_EQ((clitest::Record{"shortcut", "target", "status", "drive", "reason", "location", "profile", "detail", "kind"}),
              records[0]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].shortcut);
        EXPECT_EQ((clitest::Record{rows[i].shortcut, rows[i].target, rows[i].StatusName(), rows[i].DriveTypeName(),
                                   rows[i].ReasonName(), rows[i].location, rows[i].profile, "", "lnk"}),
                  records[i + 1]);
    }
    // UTF-8 passes through unchanged.
    EXPECT_NE(std::string::npos, csv.find("O'Brien, Caf\xc3\xa9\\Men\xc3\xbb.lnk"));
}

TEST(CsvFormat, PlainFieldsAreNotQuotedAndNoRowsIsTheHeaderAlone)
{
    const std::string csv = cli::FormatCsv({Row("C:\\M\\a.lnk", "C:\\a.exe", true, kFixed)});
    EXPECT_EQ("shortcut,target,status,drive,reason,location,profile,detail,kind\r\n"
              "C:\\M\\a.lnk,C:\\a.exe,present,fixed,,folder,,,lnk\r\n",
              csv);
    EXPECT_EQ("shortcut,target,status,drive,reason,location,profile,detail,kind\r\n", cli::FormatCsv({}));
}

TEST(TextFormat, ColumnsLineUpUnderTheHeadingsWithOrWithoutThePlaces)
{
    const std::vector<ScanRow> rows = {
        Row("C:\\Menu\\O'Brien, Caf\xc3\xa9\\Men\xc3\xbb.lnk", "C:\\Apps\\men\xc3\xbb.exe", true, kFixed,
            MissingReason::Unreadable,
            "start-menu", "C:\\Users\\Ann Lee"),
        Row("C:\\Menu\\a.lnk", "C:\\gone.exe", false, kFixed, MissingReason::Unreadable, "common-desktop"),
        Row("C:\\Menu\\Sub\\damaged.lnk", "", false, kNoRoot, MissingReason::InstallerManaged, "quick-launch",
            "C:\\Users\\Bo"),
        Row("C:\\Menu\\cd.lnk", "R:\\Game\\run.exe", false, kCdrom),
    };
    for (bool places : {false, true}) {
        SCOPED_TRACE(places ? "with places" : "without");
        const std::string text = cli::FormatText(rows, places ? 2 : 0, places);

        clitest::TextTable table;
        std::string error;
        // Aligned by character: "\xc3\xa9" takes one column.
        ASSERT_TRUE(clitest::ReadTextTable(text, table, error, true)) << error << "\n" << text;
        std::vector<std::string> headings = {"Status", "Drive", "Reason", "Shortcut", "Target"};
        if (places)
            headings.insert(headings.end(), {"Location", "Profile"});
        EXPECT_EQ(headings, table.headings);
        ASSERT_EQ(rows.size(), table.rows.size()) << text;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(rows[i].shortcut);
            clitest::Record cells = {rows[i].StatusName(), rows[i].DriveTypeName(), rows[i].ReasonName(),
                                     rows[i].shortcut, rows[i].target};
            if (places)
                cells.insert(cells.end(), {rows[i].location, rows[i].profile});
            EXPECT_EQ(cells, table.rows[i]);
        }
        EXPECT_EQ(places ? "4 shortcuts listed, 3 missing, 2 not scanned" : "4 shortcuts listed, 3 missing",
                  table.countLine);
    }
}

TEST(TextFormat, NoRowsOrOneRow)
{
    EXPECT_EQ("0 shortcuts listed, 0 missing\r\n", cli::FormatText({}));

    clitest::TextTable table;
    std::string error;
    ASSERT_TRUE(clitest::ReadTextTable(cli::FormatText({Row("C:\\a.lnk", "C:\\a.exe", true, kFixed)}),
                                       table, error))
        << error;
    ASSERT_EQ(1u, table.rows.size());
    EXPECT_EQ("1 shortcut listed, 0 missing", table.countLine);
}

TEST(JsonFormat, OneDocumentOfRowObjectsInUtf8)
{
    const std::vector<ScanRow> rows = AwkwardRows();
    const std::string json = cli::FormatJson(rows);

    nlohmann::ordered_json document;
    ASSERT_NO_THROW(document = nlohmann::ordered_json::parse(json)) << json;
    ASSERT_TRUE(document.is_array());
    ASSERT_EQ(rows.size(), document.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const nlohmann::ordered_json& object = document[i];
        SCOPED_TRACE(rows[i].shortcut);
        std::vector<std::string> keys;
        for (auto it = object.begin(); it != object.end(); ++it)
            keys.push_back(it.key());
        EXPECT_EQ((std::vector<std::string>{"shortcut", "target", "status", "drive", "reason", "location", "profile",
                                            "detail", "kind"}),
                  keys);
        EXPECT_EQ(rows[i].shortcut, object["shortcut"]);
        EXPECT_EQ(rows[i].target, object["target"]);
        EXPECT_EQ(rows[i].StatusName(), object["status"]);
        EXPECT_EQ(rows[i].DriveTypeName(), object["drive"]);
        if (rows[i].present)
            EXPECT_TRUE(object["reason"].is_null()) << object["reason"];
        else
            EXPECT_EQ(rows[i].ReasonName(), object["reason"]);
        EXPECT_EQ(rows[i].location, object["location"]);
        EXPECT_EQ(rows[i].profile, object["profile"]);
        EXPECT_TRUE(object["detail"].is_null()) << object["detail"];
    }
    // "Caf\xc3\xa9" goes out as its two UTF-8 bytes, not as an escape.
    EXPECT_NE(std::string::npos, json.find("O'Brien, Caf\xc3\xa9\\\\Men\xc3\xbb.lnk")) << json;
}

TEST(JsonFormat, EmptyListAndTextThatIsNotUtf8)
{
    EXPECT_TRUE(nlohmann::json::parse(cli::FormatJson({})).empty());

    // Bytes that are not UTF-8 must not end the program.
    std::string json;
    ASSERT_NO_THROW(json = cli::FormatJson({Row("C:\\Caf\xe9.lnk", "", false, kNoRoot)}));
    const nlohmann::json document = nlohmann::json::parse(json);
    EXPECT_EQ("C:\\Caf\xef\xbf\xbd.lnk", document[0]["shortcut"].get<std::string>()) << "U+FFFD in place";
}

// An unverified row carries the system's words in its last field; each path
// the walk passed over is a row of status "not-scanned" after the scan's.
TEST(RowFormat, UnverifiedRowsAndNotScannedPathsInCsvAndJson)
{
    ScanRow denied = Row("C:\\M\\denied.lnk", "C:\\Locked\\run.exe", false, kFixed);
    denied.unverified = true;
    denied.detail = "Access is denied (error 5)";
    EXPECT_EQ(MissingReason::Unverified, denied.Reason());
    const std::vector<ScanRow> rows = {Row("C:\\M\\a.lnk", "C:\\a.exe", true, kFixed), denied};
    const std::vector<cli::NotScannedPath> skipped = {
        {"C:\\M\\Locked\\", scan::NotScannedReason::CannotOpen},
        {"C:\\M\\x\xe2\x80\xa6.lnk", scan::NotScannedReason::NameNotExact},
        {"C:\\M\\" + std::string(300, 'd') + "\\", scan::NotScannedReason::PathTooLong},
    };
    // Every column in order; "~": null in json, empty in csv.
    const std::vector<clitest::Record> expected = {
        {"C:\\M\\a.lnk", "C:\\a.exe", "present", "fixed", "~", "folder", "", "~", "lnk"},
        {"C:\\M\\denied.lnk", "C:\\Locked\\run.exe", "unverified", "fixed", "unverified", "folder", "",
         "Access is denied (error 5)", "lnk"},
        {skipped[0].path, "", "not-scanned", "~", "cannot-open", "~", "~", "cannot open folder", "~"},
        {skipped[1].path, "", "not-scanned", "~", "name-not-exact", "~", "~", "its name cannot be read exactly", "~"},
        {skipped[2].path, "", "not-scanned", "~", "path-too-long", "~", "~", "path too long", "~"},
    };
    const std::vector<std::string> keys = {"shortcut", "target", "status", "drive",
                                           "reason",   "location", "profile", "detail", "kind"};

    std::vector<clitest::Record> records;
    std::string error;
    ASSERT_TRUE(clitest::ReadCsv(cli::FormatCsv(rows, skipped), records, error)) << error;
    ASSERT_EQ(expected.size() + 1, records.size());
    EXPECT_EQ(keys, records[0]);
    const nlohmann::ordered_json document = nlohmann::ordered_json::parse(cli::FormatJson(rows, skipped));
    ASSERT_EQ(expected.size(), document.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i][0]);
        std::vector<std::string> objectKeys;
        for (auto it = document[i].begin(); it != document[i].end(); ++it)
            objectKeys.push_back(it.key());
        EXPECT_EQ(keys, objectKeys);
        for (std::size_t c = 0; c < keys.size(); ++c) {
            const bool null = expected[i][c] == "~";
            EXPECT_EQ(null ? "" : expected[i][c], records[i + 1].at(c)) << "csv " << keys[c];
            if (null)
                EXPECT_TRUE(document[i][keys[c]].is_null()) << "json " << keys[c];
            else
                EXPECT_EQ(expected[i][c], document[i][keys[c]]) << "json " << keys[c];
        }
    }
    // In text, the reason holds the words and the row is not counted missing.
    const std::string text = cli::FormatText(rows, skipped.size());
    EXPECT_NE(std::string::npos, text.find("unverified: Access is denied (error 5)")) << text;
    EXPECT_NE(std::string::npos, text.find("2 shortcuts listed, 0 missing, 3 not scanned")) << text;
}

TEST(SummaryLine, KeepsToItsLimitNamesWholePathsAndCountsTheRest)
{
    for (std::size_t count : {0u, 1u, 7u, 40u, 400u}) {
        std::vector<cli::ScanRow> rows;
        for (std::size_t i = 0; i < count; ++i) {
            cli::ScanRow row = Row("C:\\Menu\\" + std::string(i % 3 * 60, 'x') + "\xce\xa9 " + std::to_string(i) +
                                       ".lnk",
                                   "C:\\gone.exe", false, scan::kDriveFixed);
            rows.push_back(row);
            cli::ScanRow working = row;
            working.present = true;
            rows.push_back(working);  // never named
        }
        const std::string line = cli::FormatSummary(rows, 2);
        SCOPED_TRACE(line);
        ASSERT_GE(line.size(), 2u);
        EXPECT_EQ("\r\n", line.substr(line.size() - 2));
        EXPECT_LE(line.size() - 2, cli::kSummaryLimit);
        EXPECT_EQ(0u, line.find("veltmor-scan: " + std::to_string(count) + " broken shortcut"));
        EXPECT_NE(std::string::npos, line.find("2 not scanned"));
        std::size_t named = 0;
        for (const cli::ScanRow& row : rows)
            named += !row.present && line.find(row.shortcut + (&row == &rows[rows.size() - 2] ? "\r" : ";")) !=
                                         std::string::npos;
        const std::size_t more = line.find("; and ");
        const std::size_t rest = more == std::string::npos ? 0 : std::stoul(line.substr(more + 6));
        EXPECT_EQ(count, named + rest);
    }
}

}  // namespace
