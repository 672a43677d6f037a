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
// Each is run twice and the second (warm) run is reported: its clock time
// and this process's processor time.
//   usage: veltmor_bench [shortcuts]     (default 10000)
#include <windows.h>
#include <io.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

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

struct Timing {
    double wall = 0;
    double processor = 0;
};

// Runs job twice; the times of the second run.
template <class Job>
Timing WarmTime(Job job)
{
    job();
    const double wall = bench::Now();
    const double processor = bench::ProcessorSeconds();
    job();
    return Timing{bench::Now() - wall, bench::ProcessorSeconds() - processor};
}

// Builds the tree, times the three walks, prints the figures and removes the
// tree. Non-zero when something failed or the walks disagree.
int Run(int count)
{
    wintest::CTempFolder base("vb");
    CBenchTree tree;
    const double start = bench::Now();
    if (base.Path().empty() || !tree.Build(base.Path(), count)) {
        std::fprintf(stderr, "veltmor_bench: cannot build the tree (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("tree: %d shortcuts (%d broken) in %d folders under %s, built in %.2f s\n", count, tree.Broken(),
                tree.Folders(), tree.TreeRoot().c_str(), bench::Now() - start);

    scan::ScanOptions options;  // the dialog's defaults
    options.scanFrom = tree.TreeRoot();
    const auto scanWith = [](const scan::ScanOptions& options, int& listed) {
        scan::CWin32ScanFileSystem fileSystem(NULL);
        CDiscardingScanView view(options);
        scan::CScanEngine engine(fileSystem, view);
        engine.OnScan();
        listed = view.Listed();
    };
    int listed = 0;
    const Timing scanTime = WarmTime([&] { scanWith(options, listed); });
    // All broken targets are on the fixed drive, so with removable drives
    // included the same rows come without a drive-type query per shortcut.
    scan::ScanOptions noDriveType = options;
    noDriveType.ignoreRemovable = false;
    int listedNoDriveType = 0;
    const Timing noDriveTypeTime = WarmTime([&] { scanWith(noDriveType, listedNoDriveType); });
    Tally floor, bare;
    const Timing floorTime = WarmTime([&] { floor = Floor(tree); });
    const Timing bareTime = WarmTime([&] { bare = BareWalk(tree); });
    int sound = 0;
    const Timing checkTime = WarmTime([&] { sound = CheckOnly(tree); });

    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);

    const double perItem = 1e6 / count;
    const auto line = [&](const char* what, const Timing& t, const char* tail) {
        std::printf("%-14s %8.3f s  %7.1f us/shortcut  (process cpu %7.3f s)  %s\n", what, t.wall,
                    t.wall * perItem, t.processor, tail);
    };
    char text[5][64];
    std::snprintf(text[0], sizeof text[0], "rows listed %d", listed);
    std::snprintf(text[1], sizeof text[1], "missing %d of %d", floor.missing, floor.files);
    std::snprintf(text[2], sizeof text[2], "missing %d of %d", bare.missing, bare.files);
    std::snprintf(text[3], sizeof text[3], "rows listed %d", listedNoDriveType);
    std::snprintf(text[4], sizeof text[4], "sound %d of %d", sound, count);
    line("(a) scan", scanTime, text[0]);
    line("(a') no drives", noDriveTypeTime, text[3]);
    line("(b) floor", floorTime, text[1]);
    line("(c) bare walk", bareTime, text[2]);
    line("(d) check only", checkTime, text[4]);
    std::printf("a/b %.2f   a/c %.1f   (process cpu: a/b %.2f   a/c %.1f)\n", scanTime.wall / floorTime.wall,
                scanTime.wall / bareTime.wall, scanTime.processor / floorTime.processor,
                scanTime.processor / bareTime.processor);
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
    if (count < 1) {
        std::fprintf(stderr, "usage: veltmor_bench [shortcuts]\n");
        return 2;
    }
    if (FAILED(CoInitialize(NULL)))
        return 1;
    const int status = Run(count);
    CoUninitialize();
    return status;
}
