// veltmor-scan --jobs N under Wine, over real shortcuts: every job count
// writes exactly the bytes, the errors and the exit status of --jobs 1.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Scanner.h"
#include "OutputReaders.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "scan/ShortcutReader.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using Strings = std::vector<std::string>;

class ParallelScannerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_scanner = clitest::Scanner();
        ASSERT_FALSE(root.Path().empty());
        // Groups of shortcuts of every kind the options and the reasons tell
        // apart, nested, enough of them for the readers to overtake each
        // other; the builder's kinds and a damaged file beside them.
        Folder(root / "targets");
        ASSERT_TRUE(wintest::MakeFile(root / "targets\\app.exe"));
        const std::string targets[] = {root / "targets\\app.exe", "C:\\veltmor-nowhere\\gone.exe",
                                       "R:\\Game\\run.exe", "S:\\share\\tool.exe", root / "targets"};
        for (int g = 0; g < 6; ++g) {
            const std::string group = root / ("Group " + std::to_string(g));
            Folder(group);
            Folder(group + "\\Sub");
            for (int k = 0; k < 24; ++k) {
                const std::string name = (k % 3 ? group : group + "\\Sub") + "\\p" + std::to_string(k);
                ASSERT_HRESULT_SUCCEEDED(wintest::WriteShortcut(name + ".lnk", targets[(g + k) % 5]));
                m_shortcuts += 1;
            }
        }
        Folder(root / "kit");
        for (const lnkkit::Variant& variant : lnkkit::Variants()) {
            ASSERT_TRUE(wintest::WriteBytes(root / ("kit\\" + std::string(variant.name) + ".lnk"),
                                            lnkkit::Build(variant.parts)));
            m_shortcuts += 1;
        }
        ASSERT_TRUE(wintest::WriteBytes(root / "kit\\damaged.lnk", "not a shortcut"));
        ASSERT_TRUE(CopyFileA((root / "Group 0\\p1.lnk").c_str(), (root / "kit\\old.pif").c_str(), FALSE));
        m_shortcuts += 2;
    }

    void Folder(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path; }

    clitest::ChildResult Scan(const Strings& jobs, const Strings& args) const
    {
        Strings all = jobs;
        all.insert(all.end(), args.begin(), args.end());
        return clitest::RunChild(m_scanner, all);
    }

    wintest::CTempFolder root{"vj"};
    std::string m_scanner;
    int m_shortcuts = 0;
};

TEST_F(ParallelScannerTest, EveryJobCountWritesTheBytesOfOneJob)
{
    const Strings cases[] = {
        {"--format", "csv"},
        {"--format", "csv", "--include-removable"},
        {"--format", "csv", "--all"},
        {"--format", "csv", "--all", "--include-removable"},
        {"--format", "text"},
        {"--format", "json", "--all"},
    };
    for (const Strings& options : cases) {
        Strings args = options;
        args.push_back(root.Path());
        SCOPED_TRACE(::testing::PrintToString(args));
        const clitest::ChildResult one = Scan({"--jobs", "1"}, args);
        ASSERT_TRUE(one.started);
        EXPECT_EQ(1u, one.status) << one.err;
        if (options == Strings{"--format", "csv", "--all"}) {
            // Every shortcut, and the target the dialog's reader gives: the
            // scanner reads through fewer calls (one class object, no find data).
            std::vector<clitest::Record> records;
            std::string error;
            ASSERT_TRUE(clitest::ReadCsv(one.out, records, error)) << error;
            ASSERT_EQ(static_cast<std::size_t>(m_shortcuts) + 1, records.size()) << "and the header";
            for (std::size_t r = 1; r < records.size(); ++r) {
                char target[scan::kPathBuffer];
                scan::ResolveShortcut(NULL, records[r][0].c_str(), target);
                // Where the shell leaves a relative path found nowhere as it
                // stands, the scanner names the file beside the shortcut.
                const std::string& shortcut = records[r][0];
                const std::string expected = target[0] == '.' ? shortcut.substr(0, shortcut.rfind('\\')) + (target + 1)
                                                              : std::string(target);
                EXPECT_EQ(expected, records[r][1]) << shortcut;
            }
        }
        // No --jobs: the processor count.
        for (const Strings& jobs : {Strings{"--jobs", "2"}, Strings{"--jobs=8"}, Strings{}}) {
            SCOPED_TRACE(::testing::PrintToString(jobs));
            const clitest::ChildResult run = Scan(jobs, args);
            EXPECT_EQ(one.status, run.status);
            EXPECT_EQ(one.out, run.out);
            EXPECT_EQ(one.err, run.err);
        }
    }
}

}  // namespace
