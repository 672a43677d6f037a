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
// The walks take turns folder by folder: each folder is walked by every
// walk before the next folder, the order rotated a place each folder and
// each round. Timed one after another, whole walks of half a minute each
// differed by up to a quarter on this virtual machine with nothing else
// running, and whichever came after a given walk paid for it; in turns of a
// tenth of a second every walk meets the same machine. Each walk's time of
// a round is the sum of its turns. A first round is untimed: the first reads
// of a fresh tree (the file system notes each file's first access, the
// shell's classes load) and the write-back of the tree just built would
// otherwise fall on the first walk. Reported: the median over the rounds
// of clock time and of this process's processor time, and the fastest
// round's clock time.
//   usage: veltmor_bench [shortcuts] [rounds]     (default 10000 and 3)
#include <windows.h>
#include <io.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
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

// The engine over one folder at a time: the "*.*" search that finds the
// sub-folders is made as in a whole scan, but what it finds is left to
// that folder's own turn.
class CFolderOnlyFileSystem : public scan::CWin32ScanFileSystem {
public:
    CFolderOnlyFileSystem() : CWin32ScanFileSystem(NULL) {}

    Search FindFirst(const std::string& pattern, scan::FindEntry& entry) override
    {
        const Search search = CWin32ScanFileSystem::FindFirst(pattern, entry);
        if (search && IsFolder(entry) && !FindNext(search, entry)) {
            FindClose(search);
            return nullptr;  // not a failure: SearchFailed() stays false
        }
        return search;
    }
    bool FindNext(Search search, scan::FindEntry& entry) override
    {
        while (CWin32ScanFileSystem::FindNext(search, entry))
            if (!IsFolder(entry))
                return true;
        return false;
    }

private:
    static bool IsFolder(const scan::FindEntry& entry) { return (entry.attributes & scan::kAttributeDirectory) != 0; }
};

// One engine scan, fed a folder at a time; made anew each round, so each
// round asks the drive type once, as a Scan command does.
struct EngineWalk {
    explicit EngineWalk(const scan::ScanOptions& options) : view(options), engine(fileSystem, view)
    {
        engine.SetOptions(options);
    }
    CFolderOnlyFileSystem fileSystem;
    CDiscardingScanView view;
    scan::CScanEngine engine;
};

void Floor(const std::string& folder, Tally& tally)
{
    CBenchTree::WalkFolder(folder, [&](const std::string& folder, const char* name) {
        char target[scan::kPathBuffer];
        scan::ResolveShortcut(NULL, (folder + name).c_str(), target);
        ++tally.files;
        tally.missing += _access(target, 0) == 0 ? 0 : 1;
    });
}

void BareWalk(const CBenchTree& tree, const std::string& folder, Tally& tally)
{
    CBenchTree::WalkFolder(folder, [&](const std::string& folder, const char* name) {
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
}

void CheckOnly(const std::string& folder, int& sound)
{
    CBenchTree::WalkFolder(folder, [&](const std::string& folder, const char* name) {
        sound += SUCCEEDED(scan::CheckShortcutFile((folder + name).c_str())) ? 1 : 0;
    });
}

// One walk: its name, how it starts a round, what it does in one folder,
// and its times of the timed rounds.
struct Walk {
    const char* name;
    std::function<void()> begin;
    std::function<void(const std::string& folder)> run;
    std::vector<double> wall;
    std::vector<double> processor;
};

// One round: every folder in turn, every walk in it, the walks' order
// rotated a place each folder. Adds each walk's summed times when timed.
void Round(std::vector<Walk>& walks, const std::vector<std::string>& folders, std::size_t round, bool timed)
{
    std::vector<double> wall(walks.size()), processor(walks.size());
    for (Walk& walk : walks)
        walk.begin();
    for (std::size_t f = 0; f < folders.size(); ++f) {
        for (std::size_t k = 0; k < walks.size(); ++k) {
            const std::size_t w = (k + f + round) % walks.size();
            const double clock = bench::Now();
            const double cpu = bench::ProcessorSeconds();
            walks[w].run(folders[f]);
            wall[w] += bench::Now() - clock;
            processor[w] += bench::ProcessorSeconds() - cpu;
        }
    }
    if (!timed)
        return;
    for (std::size_t w = 0; w < walks.size(); ++w) {
        walks[w].wall.push_back(wall[w]);
        walks[w].processor.push_back(processor[w]);
    }
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
    // All broken targets are on the fixed drive, so with removable drives
    // included the same rows come without a drive-type query per shortcut.
    scan::ScanOptions noDriveType = options;
    noDriveType.ignoreRemovable = false;
    std::unique_ptr<EngineWalk> scan, scanNoDriveType;
    Tally floor, bare;
    int sound = 0;
    std::vector<Walk> walks = {
        {"(a) scan", [&] { scan = std::make_unique<EngineWalk>(options); },
         [&](const std::string& folder) { scan->engine.ScanFolder(folder); }, {}, {}},
        {"(a') no drives", [&] { scanNoDriveType = std::make_unique<EngineWalk>(noDriveType); },
         [&](const std::string& folder) { scanNoDriveType->engine.ScanFolder(folder); }, {}, {}},
        {"(b) floor", [&] { floor = Tally(); }, [&](const std::string& folder) { Floor(folder, floor); }, {}, {}},
        {"(c) bare walk", [&] { bare = Tally(); }, [&](const std::string& folder) { BareWalk(tree, folder, bare); },
         {}, {}},
        {"(d) check only", [&] { sound = 0; }, [&](const std::string& folder) { CheckOnly(folder, sound); }, {}, {}},
    };
    const double untimed = bench::Now();
    Round(walks, tree.FolderPaths(), 0, false);
    std::printf("untimed first round: %.3f s\n", bench::Now() - untimed);
    for (int r = 1; r <= rounds; ++r)
        Round(walks, tree.FolderPaths(), static_cast<std::size_t>(r), true);

    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);

    const int listed = scan->view.Listed(), listedNoDriveType = scanNoDriveType->view.Listed();
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
    if (listed != tree.Broken() || listedNoDriveType != tree.Broken() || floor.missing != tree.Broken() ||
        bare.missing != tree.Broken() || floor.files != count || bare.files != count || sound != count) {
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
