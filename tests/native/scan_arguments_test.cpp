// The scanner's command line: options in any order among the folders, the
// three formats in both spellings, "--" before folders that look like
// options, and one clear problem for each mistake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/ScanArguments.h"

namespace {

using cli::OutputFormat;
using cli::ScanArguments;
using Action = ScanArguments::Action;
using Strings = std::vector<std::string>;

TEST(ScanArguments, NothingGivenMeansTheDialogsDefaultsOnTheStartMenu)
{
    const ScanArguments parsed = ScanArguments::Parse({});
    EXPECT_EQ(Action::Scan, parsed.action);
    EXPECT_FALSE(parsed.displayAll);
    EXPECT_TRUE(parsed.ignoreRemovable);
    EXPECT_EQ(OutputFormat::Text, parsed.format);
    EXPECT_TRUE(parsed.folders.empty());
}

TEST(ScanArguments, EachChangingOptionChoosesItsOwnAction)
{
    using Verb = ScanArguments::Verb;
    const struct {
        Strings args;
        Verb verb;
    } cases[] = {
        {{"C:\\A", "--suggest"}, Verb::List},
        {{"--dry-run", "C:\\A", "--quarantine", "C:\\Q"}, Verb::Quarantine},
        {{"--repair", "C:\\Q", "--evidence", "likely", "C:\\A"}, Verb::Repair},
        {{"--restore", "C:\\Q"}, Verb::Restore},
        {{"--location", "all", "--all-profiles", "--snapshot", "C:\\S", "--keep", "3"}, Verb::Snapshot},
        {{"--recover", "C:\\S", "--as-of", "2023-01-13", "--max-moves", "9"}, Verb::Recover},
    };
    for (const auto& c : cases) {
        const ScanArguments parsed = ScanArguments::Parse(c.args);
        ASSERT_EQ(Action::Scan, parsed.action) << c.args[0] << ": " << parsed.problem;
        EXPECT_EQ(c.verb, parsed.verb) << c.args[0];
    }
}

TEST(ScanArguments, OptionsMixWithFoldersWhichKeepTheirOrder)
{
    const ScanArguments parsed = ScanArguments::Parse(
        {"C:\\Z", "--all", "C:\\A b", "--include-removable", "--format", "csv", "D:\\M"});
    ASSERT_EQ(Action::Scan, parsed.action) << parsed.problem;
    EXPECT_TRUE(parsed.displayAll);
    EXPECT_FALSE(parsed.ignoreRemovable);
    EXPECT_EQ(OutputFormat::Csv, parsed.format);
    EXPECT_EQ((Strings{"C:\\Z", "C:\\A b", "D:\\M"}), parsed.folders);
}

TEST(ScanArguments, FormatsInBothSpellingsTheLastOneWins)
{
    struct Case {
        Strings args;
        OutputFormat format;
    } cases[] = {
        {{"--format", "text"}, OutputFormat::Text},
        {{"--format", "csv"}, OutputFormat::Csv},
        {{"--format", "json"}, OutputFormat::Json},
        {{"--format=json"}, OutputFormat::Json},
        {{"--format=csv", "--format", "text"}, OutputFormat::Text},
    };
    for (const Case& c : cases) {
        const ScanArguments parsed = ScanArguments::Parse(c.args);
        SCOPED_TRACE(c.args.back());
        ASSERT_EQ(Action::Scan, parsed.action) << parsed.problem;
        EXPECT_EQ(c.format, parsed.format);
        EXPECT_TRUE(parsed.folders.empty()) << "the format's value is not a folder";
    }
}

TEST(ScanArguments, AfterDoubleDashEverythingIsAFolder)
{
    const ScanArguments parsed = ScanArguments::Parse({"--all", "--", "--include-removable", "-x", "/?"});
    ASSERT_EQ(Action::Scan, parsed.action) << parsed.problem;
    EXPECT_TRUE(parsed.displayAll);
    EXPECT_TRUE(parsed.ignoreRemovable);
    EXPECT_EQ((Strings{"--include-removable", "-x", "/?"}), parsed.folders);
}

TEST(ScanArguments, HelpAndVersion)
{
    for (const char* help : {"--help", "-h", "/?"})
        EXPECT_EQ(Action::Help, ScanArguments::Parse({"C:\\x", help, "--nonsense"}).action) << help;
    EXPECT_EQ(Action::Version, ScanArguments::Parse({"--version", "--format"}).action);
}

TEST(ScanArguments, EachMistakeIsRefusedWithItsOwnProblem)
{
    struct Case {
        Strings args;
        const char* named;  // the problem must quote this
    } cases[] = {
        {{"--every"}, "\"--every\""},
        {{"-a"}, "\"-a\""},
        {{"-"}, "\"-\""},
        {{"--all", "--format"}, "--format needs a value"},
        {{"--format", "xml"}, "\"xml\""},
        {{"--format="}, "\"\""},
        {{"--format=CSV"}, "\"CSV\""},
        {{"--nonsense", "--help"}, "\"--nonsense\""},  // the first mistake wins
    };
    for (const Case& c : cases) {
        const ScanArguments parsed = ScanArguments::Parse(c.args);
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(Action::Refuse, parsed.action);
        EXPECT_NE(std::string::npos, parsed.problem.find(c.named)) << parsed.problem;
        EXPECT_EQ(std::string::npos, parsed.problem.find('\n')) << "one line: " << parsed.problem;
    }
}

}  // namespace
