// Times the quarantine and the restore of broken shortcuts against a bare
// MoveFileExW loop over the same files, in the same run:
//   bare        MoveFileExW of each file to a flat folder, and back: the floor;
//   layout      MoveFileExW of each file to its place in a quarantine folder
//               made beforehand, and back: what the deeper paths cost alone;
//   quarantine  veltmor-scan's quarantine of the same rows: the full path, the
//               target tested again, the folders made, the move, the manifest;
//   restore     its restore: the folder listed, each file moved back, the
//               empty folders removed, the manifest.
// Apart, the costs added on top of the moves: the target tested again and
// one manifest written for all the files; for the restore, the removal of
// the folders it empties (one RemoveDirectoryW each, slow under Wine).
// Each round runs all three, in an order rotated from round to round, after a warm-up round;
// medians and minimums are reported per file, with the ratio to the bare loop.
//   usage: veltmor_quarantine_bench [shortcuts] [rounds]
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "cli/quarantine/Quarantine.h"
#include "cli/quarantine/QuarantineManifest.h"
#include "cli/win32/Win32Mover.h"
#include "cli/win32/Win32ScanHost.h"
#include "scan/LinkStructure.h"
#include "scan/Win32ScanFileSystem.h"

namespace {

using bench::Median;
using bench::Minimum;
using bench::Now;

constexpr int kPerFolder = 50;

class CSilentHost : public cli::CWin32ScanHost {
public:
    bool WriteOutput(const std::string&, Encoding) override { return true; }
    void WriteError(const std::string&) override {}
};

// Moves every file from one list of paths to the other; false on the first
// failure.
bool MoveAll(const std::vector<std::wstring>& from, const std::vector<std::wstring>& to)
{
    for (std::size_t i = 0; i < from.size(); ++i)
        if (!MoveFileExW(from[i].c_str(), to[i].c_str(), 0))
            return false;
    return true;
}

struct Times {
    std::vector<double> out, back;
};

void Report(const char* what, const std::vector<double>& times, const std::vector<double>& floor, int count)
{
    const double perFile = 1e6 / count;
    std::printf("  %-24s %8.1f us %8.1f us", what, Median(times) * perFile, Minimum(times) * perFile);
    if (&times != &floor)
        std::printf("   %.2f / %.2f", Median(times) / Median(floor), Minimum(times) / Minimum(floor));
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    if (FAILED(CoInitialize(NULL)) || count <= 0 || rounds <= 0)
        return 2;

    wintest::CTempFolder base("vqb");
    const std::string tree = base / "tree", flat = base / "flat", sample = base / "sample.lnk";
    if (!CreateDirectoryA(tree.c_str(), NULL) || !CreateDirectoryA(flat.c_str(), NULL) ||
        FAILED(wintest::WriteShortcut(sample, base / "gone\\tool.exe"))) {
        std::fprintf(stderr, "veltmor_quarantine_bench: cannot build the tree (error %lu)\n", GetLastError());
        return 2;
    }
    std::string sampleBytes;
    wintest::ReadBytes(sample, sampleBytes);
    const std::string digest = scan::Digest(sampleBytes);
    std::vector<cli::ScanRow> items;
    std::vector<std::wstring> originals, flatPlaces, layoutPlaces;
    cli::CWin32Mover layoutMaker;
    std::set<std::string> layoutFolders;  // every folder of the layout, for the removal's cost
    for (int i = 0; i < count; ++i) {
        const std::string folder = tree + "\\Folder " + std::to_string(i / kPerFolder);
        if (i % kPerFolder == 0)
            CreateDirectoryA(folder.c_str(), NULL);
        cli::ScanRow item;
        item.shortcut = folder + "\\Broken " + std::to_string(i) + ".lnk";
        item.target = base / "gone\\tool.exe";  // each a copy of the sample
        item.digest = digest;                     // as the scanner notes it
        item.driveType = cli::kDriveFixed;        // missing on a fixed drive
        item.location = "start-menu";
        item.root = tree;  // the folder scanned
        if (!CopyFileA(sample.c_str(), item.shortcut.c_str(), TRUE))
            return 2;
        originals.push_back(wintest::LongPath(item.shortcut));
        flatPlaces.push_back(wintest::LongPath(flat + "\\" + std::to_string(i) + ".lnk"));
        const std::string place = base / "layout\\C" + item.shortcut.substr(2);
        for (std::string folder = place.substr(0, place.rfind('\\')); folder.size() > (base / "layout").size();
             folder = folder.substr(0, folder.rfind('\\')))
            layoutFolders.insert(folder);
        layoutMaker.MakeFolders(place.substr(0, place.rfind('\\')));
        layoutPlaces.push_back(wintest::LongPath(place));
        items.push_back(item);
    }
    std::printf("%d broken shortcuts in %d folders; %d rounds after a warm-up\n", count,
                (count + kPerFolder - 1) / kPerFolder, rounds);

    Times bare, layout, ours;
    std::vector<double> retest, manifest, removal;
    for (int round = 0; round <= rounds; ++round) {
        const std::string dir = base / ("q" + std::to_string(round));
        for (int order = 0; order < 3; ++order) {
            const int kind = (order + round) % 3;
            if (kind < 2) {
                const std::vector<std::wstring>& places = kind == 0 ? flatPlaces : layoutPlaces;
                Times& times = kind == 0 ? bare : layout;
                double start = Now();
                const bool out = MoveAll(originals, places);
                const double middle = Now();
                const bool back = MoveAll(places, originals);
                if (!out || !back) {
                    std::fprintf(stderr, "veltmor_quarantine_bench: bare move failed (error %lu)\n", GetLastError());
                    return 1;
                }
                if (round > 0) {
                    times.out.push_back(middle - start);
                    times.back.push_back(Now() - middle);
                }
            } else {
                scan::CWin32ScanFileSystem fileSystem(NULL);
                CSilentHost host;
                double start = Now();
                int status;
                {
                    cli::CWin32Mover mover;  // each run holds the folder until it ends
                    cli::CQuarantine quarantine(mover, fileSystem, host);
                    status = quarantine.Open(dir, cli::CQuarantine::Purpose::Quarantine, false).empty()
                                 ? quarantine.Quarantine(items)
                                 : 2;
                }
                const double middle = Now();
                cli::CWin32Mover mover;
                cli::CQuarantine restore(mover, fileSystem, host);
                if (status != 0 || !restore.Open(dir, cli::CQuarantine::Purpose::Restore, false).empty() ||
                    restore.Restore() != 0) {
                    std::fprintf(stderr, "veltmor_quarantine_bench: quarantine %d or restore failed\n", status);
                    return 1;
                }
                if (round > 0) {
                    ours.out.push_back(middle - start);
                    ours.back.push_back(Now() - middle);
                }
            }
        }
        // The two added costs alone, on the same rows.
        scan::CWin32ScanFileSystem fileSystem(NULL);
        double start = Now();
        int back = 0;
        for (const cli::ScanRow& item : items) {
            scan::ShortcutTarget target;
            target.text = item.target;
            back += fileSystem.LinkTargetPresence(target).ProvenMissing() ? 0 : 1;
        }
        const double tested = Now();
        cli::CManifest entries;
        cli::CWin32Mover mover;
        for (const cli::ScanRow& item : items) {
            cli::ManifestEntry entry = cli::RowEntry(item, item.shortcut, item.shortcut.substr(3), std::string());
            entry.action = "quarantine";
            entry.time = mover.UtcTime();
            entry.computer = "BENCH";
            entry.version = "1.1.1";
            entries.Add(entry);
        }
        const bool written = mover.ReplaceFile(base / "manifest.json", entries.Text());
        const double saved = Now();
        // As many folders as a restore empties: the layout's, one level each.
        const std::string empty = base / "empty";
        const int folders = static_cast<int>(layoutFolders.size());
        for (int i = 0; i < folders; ++i)
            CreateDirectoryA((empty + std::to_string(i)).c_str(), NULL);
        const double made = Now();
        for (int i = 0; i < folders; ++i)
            RemoveDirectoryW(wintest::LongPath(empty + std::to_string(i)).c_str());
        if (back != 0 || !written)
            return 1;
        if (round > 0) {
            retest.push_back(tested - start);
            manifest.push_back(saved - tested);
            removal.push_back(Now() - made);
        }
    }

    std::printf("per file                     median    minimum   against the bare loop (median / minimum)\n");
    Report("bare MoveFileExW out", bare.out, bare.out, count);
    Report("layout MoveFileExW out", layout.out, bare.out, count);
    Report("quarantine", ours.out, bare.out, count);
    Report("  target tested again", retest, bare.out, count);
    Report("  manifest (one write)", manifest, bare.out, count);
    Report("bare MoveFileExW back", bare.back, bare.back, count);
    Report("layout MoveFileExW back", layout.back, bare.back, count);
    Report("restore", ours.back, bare.back, count);
    Report(("  " + std::to_string(layoutFolders.size()) + " folders removed").c_str(), removal, bare.back, count);
    CoUninitialize();
    return 0;
}
