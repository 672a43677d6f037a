// The parallel scan against the sequential one on the fake platform: the same
// rows in the same order, every shortcut read once, every root asked once,
// whatever the number of readers and however far the walk may run ahead.
// Nothing here depends on timing: the checks hold for every interleaving.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeScanPlatform.h"
#include "cli/ParallelScan.h"
#include "cli/ScanArguments.h"

namespace {

// The tree every file system of a run holds: nested folders of links and
// program-information files into a fixed drive (present, missing, a folder),
// a CD-ROM, a share and nowhere; a folder that cannot be read and a name too
// long to join: 160 shortcuts are read.
void BuildTree(fake::FakeFileSystem& fs, const std::string& throwOn)
{
    fs.SetDriveType("C:\\", scan::kDriveFixed);
    fs.SetDriveType("D:\\", fake::kDriveCdrom);
    fs.SetDriveType("\\\\server\\share", fake::kDriveRemote);
    fs.AddFile("C:\\Apps\\present.exe");
    const char* const targets[] = {"C:\\Apps\\present.exe", "C:\\Apps\\gone.exe", "D:\\run.exe",
                                   "\\\\server\\share\\tool.exe", "", "C:\\Apps"};
    int n = 0;
    for (int g = 0; g < 4; ++g) {
        for (int s = -1; s < 3; ++s) {
            const std::string folder = "C:\\Menu\\G" + std::to_string(g) + (s < 0 ? "" : "\\S" + std::to_string(s));
            fs.AddFolder(folder);
            for (int k = 0; k < 10; ++k, ++n)
                fs.AddShortcut(folder + "\\p" + std::to_string(n) + (k % 4 == 3 ? ".pif" : ".lnk"), targets[n % 6]);
        }
    }
    fs.AddFolder("C:\\Menu\\G1\\Locked");
    fs.MakeUnreadable("C:\\Menu\\G1\\Locked");
    fs.AddShortcut("C:\\Menu\\G2\\" + std::string(250, 'x') + ".lnk", "C:\\Apps\\gone.exe");
    if (!throwOn.empty())
        fs.ThrowOnResolve(throwOn);
}

// Each reader's own file system over the same tree, with a log of its own.
class FakeReaders : public cli::ReaderFileSystems {
public:
    FakeReaders(const std::string& throwOn, bool refuse) : m_throwOn(throwOn), m_refuse(refuse) {}

    std::unique_ptr<scan::ScanFileSystem> Make() override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_made;
        if (m_refuse)
            return nullptr;
        m_logs.push_back(std::make_unique<fake::CallLog>());
        auto fs = std::make_unique<fake::FakeFileSystem>(*m_logs.back());
        BuildTree(*fs, m_throwOn);
        return fs;
    }

    // Called after the scan, when the readers are gone.
    std::size_t Calls(const char* name) const
    {
        std::size_t n = 0;
        for (const auto& log : m_logs)
            n += log->Only({name}).size();
        return n;
    }
    int Made() const { return m_made; }

private:
    std::string m_throwOn;
    bool m_refuse;
    std::mutex m_mutex;
    int m_made = 0;
    std::vector<std::unique_ptr<fake::CallLog>> m_logs;
};

struct Outcome {
    std::vector<std::string> rows;  // "item|value|image", then what was passed over
    unsigned skipped = 0;
    std::size_t reads = 0, readerReads = 0, driveTypes = 0, found = 0;
    int readersMade = 0;
    bool threw = false;
    bool dialogBack = false;  // controls enabled, wait cursor ended
};

struct Case {
    unsigned jobs;
    std::size_t window;
    bool refuse;  // no reader can start
};

Outcome Scan(bool ignoreRemovable, bool displayAll, const Case& c, const std::string& throwOn = "")
{
    fake::CallLog log;
    fake::FakeFileSystem fs(log);
    BuildTree(fs, throwOn);
    fake::FakeScanView view(log);
    view.controls = {"C:\\Menu", ignoreRemovable, displayAll};
    scan::CScanEngine engine(fs, view);
    FakeReaders readers(throwOn, c.refuse);
    Outcome run;
    try {
        cli::ScanInParallel(engine, fs, readers, c.jobs, c.window, [&run] { ++run.found; });
    } catch (const fake::FakeFailure&) {
        run.threw = true;
    }
    for (const fake::FakeRow& row : view.Rows())
        run.rows.push_back(row.item + "|" + row.value + "|" + std::to_string(row.image));
    run.rows.insert(run.rows.end(), view.notScanned.begin(), view.notScanned.end());
    run.skipped = engine.SkippedPresenceTests();
    run.readerReads = readers.Calls("ResolveShortcut");
    run.reads = log.Only({"ResolveShortcut"}).size() + run.readerReads;
    run.driveTypes = log.Only({"DriveType"}).size() + readers.Calls("DriveType");
    run.readersMade = readers.Made();
    run.dialogBack = view.EnabledChildren() == view.ChildCount() && view.WaitCursorDepth() == 0;
    return run;
}

const Case kSequential = {1, cli::kReadWindow, false};
const Case kParallel[] = {{2, cli::kReadWindow, false}, {3, 1, false}, {8, 2, false}, {4, 7, false},
                          {3, 1, true}, {2, cli::kReadWindow, true}};

TEST(ParallelScan, SameRowsReadsAndDriveQueriesAsTheSequentialScanUnderEveryOption)
{
    for (const bool ignoreRemovable : {true, false}) {
        for (const bool displayAll : {false, true}) {
            const Outcome sequential = Scan(ignoreRemovable, displayAll, kSequential);
            EXPECT_EQ(0, sequential.readersMade) << "one job starts no reader";
            EXPECT_EQ(160u, sequential.reads);
            for (const Case& c : kParallel) {
                SCOPED_TRACE(::testing::Message() << "ignore " << ignoreRemovable << " all " << displayAll
                                                  << " jobs " << c.jobs << " window " << c.window
                                                  << (c.refuse ? " refused" : ""));
                const Outcome parallel = Scan(ignoreRemovable, displayAll, c);
                EXPECT_EQ(sequential.rows, parallel.rows);
                EXPECT_EQ(sequential.skipped, parallel.skipped);
                EXPECT_EQ(sequential.reads, parallel.reads) << "each shortcut read once";
                EXPECT_EQ(c.refuse ? 0 : parallel.reads, parallel.readerReads) << "by the readers when they can";
                EXPECT_EQ(sequential.driveTypes, parallel.driveTypes) << "each root asked once among all threads";
                EXPECT_EQ(static_cast<int>(c.jobs), parallel.readersMade);
                EXPECT_EQ(parallel.reads, parallel.found) << "each one handed over is counted";
            }
        }
    }
}

TEST(ParallelScan, AFailedReadStopsTheScanAtItsTurnWithTheRowsBeforeIt)
{
    const std::string failing = "C:\\Menu\\G2\\S0\\p93.pif";
    const Outcome sequential = Scan(true, true, kSequential, failing);
    ASSERT_TRUE(sequential.threw);
    ASSERT_FALSE(sequential.rows.empty());
    for (const Case& c : kParallel) {
        SCOPED_TRACE(::testing::Message() << "jobs " << c.jobs << " window " << c.window);
        const Outcome parallel = Scan(true, true, c, failing);
        EXPECT_TRUE(parallel.threw);
        EXPECT_EQ(sequential.rows, parallel.rows);
        EXPECT_TRUE(parallel.dialogBack);
    }
}

TEST(ParallelScan, JobsTakesANumberFrom1To64)
{
    using Args = std::vector<std::string>;
    EXPECT_EQ(0u, cli::ScanArguments::Parse({}).jobs) << "one per processor";
    const std::pair<Args, unsigned> taken[] = {{{"--jobs", "1"}, 1}, {{"--jobs=64"}, 64}, {{"--jobs", "08"}, 8}};
    for (const auto& [args, jobs] : taken)
        EXPECT_EQ(jobs, cli::ScanArguments::Parse(args).jobs) << ::testing::PrintToString(args);
    const Args refused[] = {{"--jobs"}, {"--jobs", "0"}, {"--jobs=65"}, {"--jobs", "-1"}, {"--jobs", "2x"}, {"--jobs="}};
    for (const Args& args : refused)
        EXPECT_EQ(cli::ScanArguments::Action::Refuse, cli::ScanArguments::Parse(args).action)
            << ::testing::PrintToString(args);
}

}  // namespace
