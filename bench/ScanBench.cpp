// Times a whole scan of a synthetic Start Menu against two baselines:
//   (a) the scan: CScanEngine over the real file system, rows discarded;
//   (a') the same with removable drives included, which lists the same rows
//       here but asks no drive type: what the drive-type query costs;
//   (b) the floor: a plain walk making only the shortcut read and the
//       presence test of every file, no engine;
//   (c) the bare walk: a plain walk reading each file's bytes and testing a
//       target taken from a side list, no shell link service at all;
//   (d) the structure check alone, which (a) and (b) make before each load:
//       a plain walk making only the check of every file.
// Every walk runs once untimed first: the first reads of a fresh tree (the
// file system notes each file's first access, the shell's classes load)
// and the write-back of the tree just built would otherwise fall on
// whichever walk came first. Then each round times every walk once, the
// order rotated a place each round so that no walk always follows the
// same one; reported: the median clock time and this process's processor
// time over the rounds, and the fastest clock time.
//   usage: veltmor_bench [shortcuts] [rounds]     (default 10000 and 3)
#include <windows.h>
#include <io.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BenchTree.h"
#include "DiscardingScanView.h"
#include "TempFolder.h"
#include "scan/ScanEngine.h"
#include "scan/ShortcutReader.h"
#include "scan/Win32ScanFileSystem.h"

namespace {

struct Tally {
    int files = 0;
    int missing = 0;
};

Tally Floor(const CBenchTree& tree)
{
    Tally tally;
    CBenchTree::Walk(tree.TreeRoot(), [&](const std::string& folder, const char* name) {
        char target[scan::kPathBuffer];
        scan::ResolveShortcut(NULL, (folder + name).c_str(), target);
        ++tally.files;
        tally.missing += _access(target, 0) == 0 ? 0 : 1;
    });
    return tally;
}

Tally BareWalk(const CBenchTree& tree)
{
    Tally tally;
    CBenchTree::Walk(tree.TreeRoot(), [&](const std::string& folder, const char* name) {
        const HANDLE file = CreateFileA((folder + name).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            char bytes[4096];
            DWORD got = 0;
            while (ReadFile(file, bytes, sizeof bytes, &got, NULL) && got > 0) {
            }
            CloseHandle(file);
        }
        ++tally.files;
        const int i = CBenchTree::NumberOf(name);
        const bool present = i >= 0 && i < tree.Count() &&
                             GetFileAttributesA(tree.TargetOf(i).c_str()) != INVALID_FILE_ATTRIBUTES;
        tally.missing += present ? 0 : 1;
    });
    return tally;
}

int CheckOnly(const CBenchTree& tree)
{
    int sound = 0;
    CBenchTree::Walk(tree.TreeRoot(), [&](const std::string& folder, const char* name) {
        sound += SUCCEEDED(scan::CheckShortcutFile((folder + name).c_str())) ? 1 : 0;
    });
    return sound;
}

// One walk: its name, what it does, and its times of the timed rounds.
struct Walk {
    const char* name;
    std::function<void()> run;
    std::vector<double> wall;
    std::vector<double> processor;
};

void TimeOnce(Walk& walk)
{
    const double wall = bench::Now();
    const double processor = bench::ProcessorSeconds();
    walk.run();
    walk.wall.push_back(bench::Now() - wall);
    walk.processor.push_back(bench::ProcessorSeconds() - processor);
}

// Builds the tree, times the walks, prints the figures and removes the tree.
// Non-zero when something failed or the walks disagree.
int Run(int count, int rounds)
{
    wintest::CTempFolder base("vb");
    CBenchTree tree;
    const double start = bench::Now();
    if (base.Path().empty() || !tree.Build(base.Path(), count)) {
        std::fprintf(stderr, "veltmor_bench: cannot build the tree (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("tree: %d shortcuts (%d broken) in %d folders under %s, built in %.2f s; %d rounds\n", count,
                tree.Broken(), tree.Folders(), tree.TreeRoot().c_str(), bench::Now() - start, rounds);

    scan::ScanOptions options;  // the dialog's defaults
    options.scanFrom = tree.TreeRoot();
    const auto scanWith = [](const scan::ScanOptions& options, int& listed) {
        scan::CWin32ScanFileSystem fileSystem(NULL);
        CDiscardingScanView view(options);
        scan::CScanEngine engine(fileSystem, view);
        engine.OnScan();
        listed = view.Listed();
    };
    // All broken targets are on the fixed drive, so with removable drives
    // included the same rows come without a drive-type query per shortcut.
    scan::ScanOptions noDriveType = options;
    noDriveType.ignoreRemovable = false;
    int listed = 0, listedNoDriveType = 0, sound = 0;
    Tally floor, bare;
    std::vector<Walk> walks = {
        {"(a) scan", [&] { scanWith(options, listed); }, {}, {}},
        {"(a') no drives", [&] { scanWith(noDriveType, listedNoDriveType); }, {}, {}},
        {"(b) floor", [&] { floor = Floor(tree); }, {}, {}},
        {"(c) bare walk", [&] { bare = BareWalk(tree); }, {}, {}},
        {"(d) check only", [&] { sound = CheckOnly(tree); }, {}, {}},
    };
    std::string firstRuns;
    for (Walk& walk : walks) {
        const double wall = bench::Now();
        walk.run();
        char figure[64];
        std::snprintf(figure, sizeof figure, "  %s %.3f s", walk.name, bench::Now() - wall);
        firstRuns += figure;
    }
    std::printf("untimed first runs:%s\n", firstRuns.c_str());
    for (int r = 0; r < rounds; ++r)
        for (std::size_t k = 0; k < walks.size(); ++k)
            TimeOnce(walks[(k + r) % walks.size()]);

    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);

    const double perItem = 1e6 / count;
    char text[5][64];
    std::snprintf(text[0], sizeof text[0], "rows listed %d", listed);
    std::snprintf(text[1], sizeof text[1], "rows listed %d", listedNoDriveType);
    std::snprintf(text[2], sizeof text[2], "missing %d of %d", floor.missing, floor.files);
    std::snprintf(text[3], sizeof text[3], "missing %d of %d", bare.missing, bare.files);
    std::snprintf(text[4], sizeof text[4], "sound %d of %d", sound, count);
    std::printf("%-14s %10s  %19s  %11s  %10s\n", "median", "clock", "", "process cpu", "fastest");
    for (std::size_t k = 0; k < walks.size(); ++k) {
        const Walk& walk = walks[k];
        const double wall = bench::Median(walk.wall);
        std::printf("%-14s %8.3f s  %7.1f us/shortcut  (%7.3f s)  %8.3f s  %s\n", walk.name, wall, wall * perItem,
                    bench::Median(walk.processor), bench::Minimum(walk.wall), text[k]);
    }
    const auto ratio = [&](std::size_t x, std::size_t y, bool processor) {
        return processor ? bench::Median(walks[x].processor) / bench::Median(walks[y].processor)
                         : bench::Median(walks[x].wall) / bench::Median(walks[y].wall);
    };
    // On a shared machine the fastest rounds are the ones least disturbed.
    const auto fastest = [&](std::size_t x, std::size_t y) {
        return bench::Minimum(walks[x].wall) / bench::Minimum(walks[y].wall);
    };
    std::printf("a/b %.2f   a'/b %.2f   a/c %.1f   (process cpu: a/b %.2f   a'/b %.2f   a/c %.1f)"
                "   (fastest: a/b %.2f   a'/b %.2f)\n",
                ratio(0, 2, false), ratio(1, 2, false), ratio(0, 3, false), ratio(0, 2, true), ratio(1, 2, true),
                ratio(0, 3, true), fastest(0, 2), fastest(1, 2));
    std::printf("peak working set %.1f MB\n", static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));

    // The walks must agree, or the times compare different work; every
    // shortcut of the tree is sound.
    if (listed != tree.Broken() || listedNoDriveType != tree.Broken() || floor.missing != tree.Broken() || bare.missing != tree.Broken() ||
        floor.files != count || bare.files != count || sound != count) {
        std::fprintf(stderr, "veltmor_bench: the walks disagree with the tree\n");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (count < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: veltmor_bench [shortcuts] [rounds]\n");
        return 2;
    }
    if (FAILED(CoInitialize(NULL)))
        return 1;
    const int status = Run(count, rounds);
    CoUninitialize();
    return status;
}
