// Times veltmor-scan --location all on the benchmark tree placed in the
// Start Menu, against the engine's own scan of the same location folders
// into a discarding list, in the same run:
//   engine   CScanEngine over each location folder, rows discarded;
//   command  the scanner's command in this process with --location all
//            --jobs 1: the shell's folders, the plan, the scan, the reason
//            of each listed row without a target, the text format;
//   program  veltmor-scan.exe --location all --jobs 1 as a child process,
//            output through a pipe (adds the start of a process).
// Then every fourth shortcut is made one without a file target (a link to
// My Computer) and everything is timed again: with --all these rows are
// listed, each with the reason noted at its first read ("re-read" counts
// them, and times what saying why costs the command).
// Rounds rotate the order; medians and minimums, each against the engine's.
//   usage: veltmor_location_bench SCANNER [shortcuts] [rounds]
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BenchTree.h"
#include "ChildProcess.h"
#include "DiscardingScanView.h"
#include "OutputReaders.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "cli/ScanCommand.h"
#include "cli/win32/Win32ScanHost.h"
#include "scan/ScanEngine.h"
#include "scan/Win32ScanFileSystem.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using bench::Median;
using bench::Minimum;
using bench::Now;

// The real system side; the output is kept here, the lines for standard
// error dropped, and the re-reads counted and timed.
class CCountingScanHost : public cli::CWin32ScanHost {
public:
    std::string output;
    int rereads = 0;
    double rereadSeconds = 0;

    bool WriteOutput(const std::string& text, Encoding) override
    {
        output = text;
        return true;
    }
    void WriteError(const std::string&) override {}
    cli::MissingReason WhyNoTarget(const std::string& shortcut) override
    {
        ++rereads;
        const double start = Now();
        const cli::MissingReason reason = CWin32ScanHost::WhyNoTarget(shortcut);
        rereadSeconds += Now() - start;
        return reason;
    }
};

int RowsIn(const std::string& text)
{
    clitest::TextTable table;
    std::string error;
    return clitest::ReadTextTable(text, table, error) ? static_cast<int>(table.rows.size()) : -1;
}

struct Kind {
    enum What { Engine, Command, Program } what;
    std::vector<double> times;
};

class CLocationBench {
public:
    CLocationBench(const std::string& scanner, const std::vector<std::string>& folders)
        : m_scanner(scanner), m_folders(folders)
    {
    }

    bool Measure(const char* name, bool displayAll, int rounds);

private:
    bool RunOnce(Kind& kind, bool displayAll, bool keep);

    std::string m_scanner;
    std::vector<std::string> m_folders;  // the location folders there are
    int m_listed = 0;
    int m_rereads = 0;
    std::vector<double> m_rereadTimes;  // of the command's runs
};

bool CLocationBench::RunOnce(Kind& kind, bool displayAll, bool keep)
{
    // One reader, as the engine reads: the same work, plus what the
    // locations and the reasons add.
    std::vector<std::string> args = {"--location", "all", "--jobs", "1"};
    if (displayAll)
        args.push_back("--all");

    const double start = Now();
    std::string out;
    if (kind.what == Kind::Engine) {
        scan::CWin32ScanFileSystem fileSystem(NULL);
        m_listed = 0;
        for (const std::string& folder : m_folders) {
            scan::ScanOptions options;
            options.scanFrom = folder;
            options.displayAll = displayAll;
            CDiscardingScanView view(options);
            scan::CScanEngine engine(fileSystem, view);
            engine.OnScan();
            m_listed += view.Listed();
        }
    } else if (kind.what == Kind::Command) {
        CCountingScanHost host;
        cli::CWideScanFileSystem fileSystem(&host.Context());
        cli::CScanCommand(fileSystem, host).Run(args);
        out.swap(host.output);
        m_rereads = host.rereads;
        if (keep)
            m_rereadTimes.push_back(host.rereadSeconds);
    } else {
        clitest::ChildResult run = clitest::RunChild(m_scanner, args);
        out.swap(run.out);
    }
    if (keep)
        kind.times.push_back(Now() - start);
    if (kind.what == Kind::Engine)
        return true;
    const int rows = RowsIn(out);
    if (rows != m_listed) {
        std::fprintf(stderr, "veltmor_location_bench: %d rows, the engine listed %d\n", rows, m_listed);
        return false;
    }
    return true;
}

bool CLocationBench::Measure(const char* name, bool displayAll, int rounds)
{
    std::vector<Kind> kinds = {{Kind::Engine, {}}, {Kind::Command, {}}, {Kind::Program, {}}};
    m_rereadTimes.clear();
    bool agreed = RunOnce(kinds[0], displayAll, false);
    for (int r = 0; r <= rounds; ++r)
        for (std::size_t k = 0; k < kinds.size(); ++k)
            agreed = RunOnce(kinds[(k + r) % kinds.size()], displayAll, r > 0) && agreed;

    const double median = Median(kinds[0].times), minimum = Minimum(kinds[0].times);
    std::printf("%-22s rows %-6d re-read %-6d median    minimum   against the engine\n", name, m_listed, m_rereads);
    const char* const names[] = {"engine (discarding list)", "command --location all", "program --location all"};
    for (const Kind& kind : kinds)
        std::printf("  %-34s %8.3f s %8.3f s   %.3f / %.3f\n", names[kind.what], Median(kind.times),
                    Minimum(kind.times), Median(kind.times) / median, Minimum(kind.times) / minimum);
    if (m_rereads > 0)
        std::printf("  %-34s %8.3f s %8.3f s   %.3f / %.3f\n", "of which the re-reads", Median(m_rereadTimes),
                    Minimum(m_rereadTimes), Median(m_rereadTimes) / median, Minimum(m_rereadTimes) / minimum);
    return agreed;
}

// Every shortcut whose number is 3 modulo 4 becomes a link to My Computer.
int EmptyEveryFourth(const std::string& folder, const std::string& bytes)
{
    int made = 0;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            made += EmptyEveryFourth(folder + name + "\\", bytes);
        else if (CBenchTree::NumberOf(name.c_str()) % 4 == 3 && wintest::WriteBytes(folder + name, bytes))
            ++made;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return made;
}

int Run(const std::string& scanner, int count, int rounds)
{
    // The tree goes into this prefix's Start Menu; the other locations hold
    // what the prefix has.
    cli::CWin32ScanHost host;
    const std::string base = host.LocationFolder(cli::Location::StartMenu) + "\\Veltmor bench\\";
    CBenchTree tree;
    if (!CreateDirectoryA(base.c_str(), NULL) || !tree.Build(base, count)) {
        std::fprintf(stderr, "veltmor_location_bench: cannot build the tree in %s (error %lu)\n", base.c_str(),
                     GetLastError());
        return 1;
    }
    std::vector<std::string> folders;
    for (cli::Location location : cli::kAllLocations) {
        const std::string folder = host.LocationFolder(location);
        if (!folder.empty() && host.IsFolder(folder))
            folders.push_back(folder);
    }
    std::printf("tree: %d shortcuts (%d broken) in %d folders, in the Start Menu; %zu of 5 locations "
                "there; %d rounds\n",
                count, tree.Broken(), tree.Folders(), folders.size(), rounds);

    CLocationBench bench(scanner, folders);
    bool agreed = bench.Measure("defaults", false, rounds);
    agreed = bench.Measure("--all", true, rounds) && agreed;
    const int empty = EmptyEveryFourth(tree.TreeRoot(), lnkkit::Build(lnkkit::VariantNamed("idlist").parts));
    std::printf("every fourth shortcut without a file target now: %d\n", empty);
    agreed = bench.Measure("defaults, 1/4 empty", false, rounds) && agreed;
    agreed = bench.Measure("--all, 1/4 empty", true, rounds) && agreed;
    wintest::CTempFolder::RemoveTree(base);
    return agreed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: veltmor_location_bench SCANNER [shortcuts] [rounds]\n");
        return 2;
    }
    const std::string scanner = argv[1][0] == '/' ? wintest::UnixToWindows(argv[1]) : argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    if (count < 1 || rounds < 1 || FAILED(CoInitialize(NULL)))
        return 2;
    const int status = Run(scanner, count, rounds);
    CoUninitialize();
    return status;
}
