// Times the parallel scan against the sequential one, in one run on the same
// tree of real shortcuts:
//   scan     the scanner's scan in this process (CScanEngine, the reader
//            threads, rows kept), with 1, 2, the processor count, 4 and 8
//            jobs; every run's rows are checked against the 1-job run's;
//   floor    the shortcut reads and presence tests alone, split over the
//            same numbers of threads: what any parallel scan can reach;
//   program  veltmor-scan.exe --jobs N --format csv as a child process (when
//            SCANNER is given), its output checked byte for byte against
//            --jobs 1's.
// Each round runs every kind once, in an order rotated from round to round,
// after one warm-up round; medians and minimums are reported, each against
// the 1-job figure, and the scan's processor time in this process (all its
// threads; under Wine the wineserver, a process of its own through which
// every file and registry call passes, is not in it).
// A second tree, a quarter of whose targets lie on the prefix's network drive
// S:, shows what asking the drive first saves with the default options: the
// default scan's time, and "before" as that time plus the presence tests it
// avoided (counted by the engine, timed here on the same targets). Under Wine
// S: is a folder on the local disk, so its presence tests are as cheap as any
// other; on a real network, and above all a disconnected one, each one waits
// for the network.
//   usage: veltmor_parallel_bench [shortcuts] [rounds] [SCANNER]
#include <windows.h>
#include <io.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "BenchTree.h"
#include "ChildProcess.h"
#include "RecordingScanView.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "cli/win32/ComReaders.h"
#include "cli/ParallelScan.h"
#include "scan/ScanEngine.h"
#include "scan/PathText.h"

namespace {

using bench::Median;
using bench::Minimum;
using bench::Now;

// "shortcut|target|image" per row, in order.
using Rows = std::vector<std::string>;

// The real file system, keeping every target the reader gives.
class CTargetKeeper : public cli::CWideScanFileSystem {
public:
    CTargetKeeper() : CWideScanFileSystem(nullptr) {}
    std::vector<std::string> targets;

    void ResolveShortcut(const std::string& shortcutPath, scan::ShortcutTarget& target) override
    {
        CWideScanFileSystem::ResolveShortcut(shortcutPath, target);
        targets.push_back(target.text);
    }
};

struct ScanRun {
    double seconds = 0;
    double processor = 0;  // this process's user and kernel time
    Rows rows;
    unsigned skipped = 0;  // presence tests the engine avoided
};

// The scan with the default options, as veltmor-scan makes it.
ScanRun Scan(const std::string& root, unsigned jobs, scan::ScanFileSystem* fileSystem = nullptr)
{
    cli::CWideScanFileSystem own(nullptr);
    scan::ScanFileSystem& fs = fileSystem ? *fileSystem : own;
    wintest::CRecordingScanView view;
    view.options.scanFrom = root;
    scan::CScanEngine engine(fs, view);
    cli::CComReaders readers;
    ScanRun run;
    const double start = Now(), processor = bench::ProcessorSeconds();
    cli::ScanInParallel(engine, fs, readers, jobs);
    run.seconds = Now() - start;
    run.processor = bench::ProcessorSeconds() - processor;
    run.skipped = engine.SkippedPresenceTests();
    for (const wintest::CRecordingScanView::Row& row : view.Rows())
        run.rows.push_back(row.item + "|" + row.value + "|" + std::to_string(row.image));
    return run;
}

// The floor under any scan: the shortcut read and the presence test of every
// file, split over N threads by turns, each with COM of its own; no walk, no
// queue, no rows. Returns the missing targets.
int Floor(const std::vector<std::string>& files, unsigned jobs)
{
    std::vector<int> missing(jobs, 0);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < jobs; ++t) {
        threads.emplace_back([&, t] {
            const HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
            {
                cli::CWideScanFileSystem reader(nullptr);  // the scanner's own reads
                for (std::size_t i = t; i < files.size(); i += jobs) {
                    scan::ShortcutTarget target;
                    reader.ResolveShortcut(files[i], target);
                    missing[t] += reader.LinkTargetPresence(target).ProvenMissing() ? 1 : 0;
                }
            }
            if (SUCCEEDED(com))
                CoUninitialize();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    return std::accumulate(missing.begin(), missing.end(), 0);
}

// One thing to time.
struct Kind {
    enum What { Scan, Floor, Program } what;
    unsigned jobs;
    std::vector<double> times;
    std::vector<double> processor;  // in this process only
    bool same = true;               // as the 1-job run's rows, output or count
};

// Times the jobs on the tree; false when a run's rows or output differ.
bool MeasureJobs(const CBenchTree& tree, const std::string& scanner, int rounds)
{
    const std::string& root = tree.TreeRoot();
    std::vector<unsigned> jobs;
    for (unsigned j : {1u, 2u, cli::ProcessorCount(), 4u, 8u})
        if (std::find(jobs.begin(), jobs.end(), j) == jobs.end())
            jobs.push_back(j);
    std::vector<Kind> kinds;
    for (Kind::What what : {Kind::Scan, Kind::Floor, Kind::Program})
        if (what != Kind::Program || !scanner.empty())
            for (unsigned j : jobs)
                kinds.push_back({what, j, {}, {}});

    std::vector<std::string> files;
    CBenchTree::Walk(root, [&](const std::string& folder, const char* name) { files.push_back(folder + name); });
    const Rows reference = Scan(root, 1).rows;
    const std::string referenceOutput =
        scanner.empty() ? std::string() : clitest::RunChild(scanner, {"--jobs", "1", "--format", "csv", root}).out;
    bool agreed = true;
    for (int r = 0; r <= rounds; ++r) {
        for (std::size_t k = 0; k < kinds.size(); ++k) {
            Kind& kind = kinds[(k + r) % kinds.size()];
            const double start = Now(), processor = bench::ProcessorSeconds();
            bool same;
            if (kind.what == Kind::Scan) {
                same = Scan(root, kind.jobs).rows == reference;
            } else if (kind.what == Kind::Floor) {
                same = Floor(files, kind.jobs) == tree.Broken();
            } else {
                const clitest::ChildResult child = clitest::RunChild(
                    scanner, {"--jobs", std::to_string(kind.jobs), "--format", "csv", root});
                same = child.started && child.status == 1 && child.err.empty() && child.out == referenceOutput;
            }
            kind.same = kind.same && same;
            agreed = agreed && same;
            if (r > 0) {
                kind.times.push_back(Now() - start);
                kind.processor.push_back(bench::ProcessorSeconds() - processor);
            }
        }
    }

    std::printf("  %-18s %9s %9s   against 1 job (median / minimum)   processor, median\n", "", "median",
                "minimum");
    static const char* const kNames[] = {"scan", "floor", "program"};
    for (const Kind& kind : kinds) {
        const Kind& one = *std::find_if(kinds.begin(), kinds.end(),
                                        [&](const Kind& k) { return k.what == kind.what && k.jobs == 1; });
        char what[48], processor[32] = "";
        std::snprintf(what, sizeof what, "%-7s --jobs %u", kNames[kind.what], kind.jobs);
        if (kind.what != Kind::Program)
            std::snprintf(processor, sizeof processor, "%7.3f s", Median(kind.processor));
        std::printf("  %-18s %7.3f s %7.3f s   %.2f / %.2f %28s%s\n", what, Median(kind.times), Minimum(kind.times),
                    Median(kind.times) / Median(one.times), Minimum(kind.times) / Minimum(one.times), processor,
                    kind.same ? "" : "   ROWS DIFFER");
    }
    std::printf("  rows: %zu per scan, the same in every run: %s\n", reference.size(), agreed ? "yes" : "NO");
    return agreed;
}

// Points every shortcut numbered 1 modulo 4 (a good one) at a file on the
// network drive instead. Returns how many, or -1.
int MoveTargetsToNetwork(const CBenchTree& tree, const std::string& network)
{
    const std::string target = network + "tool.exe", link = network + "tool.lnk";
    if (!CreateDirectoryA(network.c_str(), NULL) || !wintest::MakeFile(target) ||
        FAILED(wintest::WriteShortcut(link, target)))
        return -1;
    int moved = 0;
    bool ok = true;
    CBenchTree::Walk(tree.TreeRoot(), [&](const std::string& folder, const char* name) {
        if (CBenchTree::NumberOf(name) % 4 == 1) {
            ok = ok && CopyFileA(link.c_str(), (folder + name).c_str(), FALSE);
            ++moved;
        }
    });
    return ok ? moved : -1;
}

// The default scan's cost before and after the drive-first order, on a tree
// a quarter of whose targets lie on the network drive.
bool MeasureNetwork(const CBenchTree& tree, int rounds)
{
    CTargetKeeper keeper;
    const ScanRun counted = Scan(tree.TreeRoot(), 1, &keeper);
    std::vector<std::string> avoided;
    for (const std::string& target : keeper.targets) {
        if (keeper.DriveType(keeper.Root(target)) != DRIVE_FIXED)
            avoided.push_back(target);
    }

    std::vector<double> after, tests, parallel;
    bool agreed = avoided.size() == counted.skipped;
    for (int r = 0; r <= rounds; ++r) {
        const ScanRun run = Scan(tree.TreeRoot(), 1);
        double start = Now();
        int present = 0;
        for (const std::string& target : avoided)
            present += _access(target.c_str(), 0) == 0 ? 1 : 0;
        const double testing = Now() - start;
        const ScanRun both = Scan(tree.TreeRoot(), cli::ProcessorCount());
        agreed = agreed && run.rows == counted.rows && both.rows == counted.rows && run.skipped == counted.skipped &&
                 present == static_cast<int>(avoided.size());
        if (r > 0) {
            after.push_back(run.seconds);
            tests.push_back(testing);
            parallel.push_back(both.seconds);
        }
    }
    std::printf("  presence tests avoided: %u by the engine's count, %zu targets not on a fixed drive\n",
                counted.skipped, avoided.size());
    std::printf("  %-36s %7.3f s (minimum %.3f s)\n", "after (drive first), --jobs 1", Median(after),
                Minimum(after));
    std::printf("  %-36s %7.3f s (minimum %.3f s), %.1f us each\n", "the avoided tests alone", Median(tests),
                Minimum(tests), avoided.empty() ? 0.0 : 1e6 * Median(tests) / avoided.size());
    std::printf("  %-36s %7.3f s: after is %.3f of before\n", "before (after + the tests)",
                Median(after) + Median(tests), Median(after) / (Median(after) + Median(tests)));
    std::printf("  %-36s %7.3f s (minimum %.3f s)\n", ("after, --jobs " + std::to_string(cli::ProcessorCount())).c_str(),
                Median(parallel), Minimum(parallel));
    std::printf("  Under Wine S: is a local folder: each avoided test costs what a local one does. On a\n"
                "  disconnected network drive each one waits for the network's timeout instead.\n");
    if (!agreed)
        std::printf("  ROWS OR COUNTS DIFFER\n");
    return agreed;
}

int Run(int count, int rounds, const std::string& scanner)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    std::printf("processors: %lu; default --jobs %u; %d rounds after a warm-up\n",
                static_cast<unsigned long>(system.dwNumberOfProcessors), cli::ProcessorCount(), rounds);

    wintest::CTempFolder base("vp");
    CBenchTree tree;
    double start = Now();
    if (base.Path().empty() || !tree.Build(base.Path(), count)) {
        std::fprintf(stderr, "veltmor_parallel_bench: cannot build the tree (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("tree: %d shortcuts (%d broken) in %d folders, built in %.1f s\n", count, tree.Broken(),
                tree.Folders(), Now() - start);
    const bool jobs = MeasureJobs(tree, scanner, rounds);

    wintest::CTempFolder networkBase("vn");
    char folder[32];
    std::snprintf(folder, sizeof folder, "S:\\veltmor-bench-%lu\\", GetCurrentProcessId());
    const std::string network = folder;
    CBenchTree networkTree;
    start = Now();
    const int moved = !networkBase.Path().empty() && networkTree.Build(networkBase.Path(), count)
                          ? MoveTargetsToNetwork(networkTree, network)
                          : -1;
    bool saved = false;
    if (moved < 0) {
        std::fprintf(stderr, "veltmor_parallel_bench: cannot build the network tree on %s (error %lu)\n",
                     network.c_str(), GetLastError());
    } else {
        std::printf("network tree: %d shortcuts, %d of them into %s, built in %.1f s\n", count, moved,
                    network.c_str(), Now() - start);
        saved = MeasureNetwork(networkTree, rounds);
    }
    wintest::CTempFolder::RemoveTree(network);
    return jobs && saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string scanner =
        argc > 3 ? (argv[3][0] == '/' ? wintest::UnixToWindows(argv[3]) : std::string(argv[3])) : std::string();
    if (count < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: veltmor_parallel_bench [shortcuts] [rounds] [SCANNER]\n");
        return 2;
    }
    if (FAILED(CoInitialize(NULL)))
        return 1;
    const int status = Run(count, rounds, scanner);
    CoUninitialize();
    return status;
}
