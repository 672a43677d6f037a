// Times veltmor-scan on a synthetic Start Menu against the engine's own scan
// into a discarding list, in the same run on the same tree:
//   engine   CScanEngine over the real file system, rows discarded;
//   command  the scanner's command in this process: the same scan, plus the
//            drive-type column, the format and the UTF-8 conversion, its
//            output counted and dropped (what the output itself costs);
//   program  veltmor-scan.exe as a management tool runs it: a child process
//            whose output is collected through a pipe (adds the start of a
//            process and the pipe);
//   start    the program's fixed cost: a child that only prints its version;
//   output   the formats alone, on as many rows as the tree has shortcuts,
//            JSON with its UTF-8 conversion: what the scanner adds to the
//            scan besides the start, free of the scan's noise.
// Each round runs every kind once, in an order rotated from round to round,
// after one warm-up round; medians and minimums are reported, with each
// one's time against the engine's. The machine's other work moves single
// runs by tens of percent: look at both figures.
//   usage: veltmor_scanner_bench SCANNER [shortcuts] [rounds]
// SCANNER may be a Unix path (seen through Z:) or a Windows one.
#include <windows.h>
#include <objbase.h>

#include <nlohmann/json.hpp>

#include <algorithm>
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
#include "cli/RowFormat.h"
#include "cli/ScanCommand.h"
#include "cli/win32/Win32ScanHost.h"
#include "scan/ScanEngine.h"
#include "scan/Win32ScanFileSystem.h"

namespace {

using bench::Median;
using bench::Minimum;
using bench::Now;

// The rows a format's output holds; -1 when it cannot be read.
int RowsIn(const std::string& format, const std::string& out)
{
    std::string error;
    if (format == "json") {
        try {
            return static_cast<int>(nlohmann::json::parse(out).size());
        } catch (const std::exception&) {
            return -1;
        }
    }
    if (format == "csv") {
        std::vector<clitest::Record> records;
        return clitest::ReadCsv(out, records, error) ? static_cast<int>(records.size()) - 1 : -1;
    }
    clitest::TextTable table;
    return clitest::ReadTextTable(out, table, error) ? static_cast<int>(table.rows.size()) : -1;
}

// The real system side, but the output is kept here instead of written.
class CKeepingScanHost : public cli::CWin32ScanHost {
public:
    std::string output;

    bool WriteOutput(const std::string& text, Encoding) override
    {
        output = text;
        return true;
    }
};

const char* const kFormats[] = {"text", "csv", "json"};

// One thing to time: the engine, or the command or program in a format.
struct Kind {
    enum What { Engine, Command, Program } what;
    int format;  // index into kFormats
    std::vector<double> times;
    std::size_t bytes = 0;
};

class CScannerBench {
public:
    CScannerBench(const std::string& scanner, const CBenchTree& tree) : m_scanner(scanner), m_tree(tree) {}

    // Times every kind with these options; false when a run disagreed.
    bool Measure(const char* name, bool displayAll, int rounds);

private:
    // Runs one kind once; false when its rows are not the engine's.
    bool RunOnce(Kind& kind, bool displayAll, bool keep);

    std::string m_scanner;
    const CBenchTree& m_tree;
    int m_listed = -1;  // by the engine, this mode
};

bool CScannerBench::RunOnce(Kind& kind, bool displayAll, bool keep)
{
    std::vector<std::string> args;
    if (displayAll)
        args.push_back("--all");
    args.insert(args.end(), {"--format", kFormats[kind.format], m_tree.TreeRoot()});

    const double start = Now();
    std::string out;
    int status = 1;
    if (kind.what == Kind::Engine) {
        scan::ScanOptions options;
        options.scanFrom = m_tree.TreeRoot();
        options.displayAll = displayAll;
        scan::CWin32ScanFileSystem fileSystem(NULL);
        CDiscardingScanView view(options);
        scan::CScanEngine engine(fileSystem, view);
        engine.OnScan();
        m_listed = view.Listed();
    } else if (kind.what == Kind::Command) {
        scan::CWin32ScanFileSystem fileSystem(NULL);
        CKeepingScanHost host;
        status = cli::CScanCommand(fileSystem, host).Run(args);
        out.swap(host.output);
    } else {
        clitest::ChildResult run = clitest::RunChild(m_scanner, args);
        status = run.started ? static_cast<int>(run.status) : -1;
        out.swap(run.out);
    }
    if (keep)
        kind.times.push_back(Now() - start);
    if (kind.what == Kind::Engine)
        return true;

    // Otherwise the times would compare different work.
    kind.bytes = out.size();
    const int rows = RowsIn(kFormats[kind.format], out);
    if (status != 1 || rows != m_listed) {
        std::fprintf(stderr, "veltmor_scanner_bench: %s %s: status %d, %d rows, the engine listed %d\n",
                     kind.what == Kind::Command ? "command" : "program", kFormats[kind.format], status, rows,
                     m_listed);
        return false;
    }
    return true;
}

bool CScannerBench::Measure(const char* name, bool displayAll, int rounds)
{
    std::vector<Kind> kinds = {{Kind::Engine, 0, {}}};
    for (Kind::What what : {Kind::Command, Kind::Program})
        for (int f = 0; f < 3; ++f)
            kinds.push_back({what, f, {}});

    bool agreed = RunOnce(kinds[0], displayAll, false);  // the engine's count comes first
    for (int r = 0; r <= rounds; ++r)
        for (std::size_t k = 0; k < kinds.size(); ++k)
            agreed = RunOnce(kinds[(k + r) % kinds.size()], displayAll, r > 0) && agreed;

    const double engineMedian = Median(kinds[0].times), engineMinimum = Minimum(kinds[0].times);
    std::printf("%-8s rows %-5d                   median    minimum   against the engine\n", name, m_listed);
    for (const Kind& kind : kinds) {
        char what[32];
        if (kind.what == Kind::Engine)
            std::snprintf(what, sizeof what, "engine (discarding list)");
        else
            std::snprintf(what, sizeof what, "%s --format %s", kind.what == Kind::Command ? "command" : "program",
                          kFormats[kind.format]);
        std::printf("  %-26s %8.3f s %8.3f s   %.3f / %.3f", what, Median(kind.times), Minimum(kind.times),
                    Median(kind.times) / engineMedian, Minimum(kind.times) / engineMinimum);
        if (kind.what != Kind::Engine)
            std::printf("   %zu bytes", kind.bytes);
        std::printf("\n");
    }
    return agreed;
}

int Run(const std::string& scanner, int count, int rounds)
{
    wintest::CTempFolder base("vs");
    CBenchTree tree;
    const double start = Now();
    if (base.Path().empty() || !tree.Build(base.Path(), count)) {
        std::fprintf(stderr, "veltmor_scanner_bench: cannot build the tree (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("tree: %d shortcuts (%d broken) in %d folders, built in %.2f s; %d rounds\n", count, tree.Broken(),
                tree.Folders(), Now() - start, rounds);

    std::vector<double> startup;
    for (int r = 0; r <= rounds; ++r) {
        const double t = Now();
        const clitest::ChildResult run = clitest::RunChild(scanner, {"--version"});
        if (!run.started || run.status != 0) {
            std::fprintf(stderr, "veltmor_scanner_bench: cannot run %s\n", scanner.c_str());
            return 1;
        }
        if (r > 0)
            startup.push_back(Now() - t);
    }
    std::printf("start (--version): median %.3f s, minimum %.3f s\n", Median(startup), Minimum(startup));

    // Rows like the scan's, every shortcut listed.
    std::vector<cli::ScanRow> rows(count);
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Group %d\\Program %05d.lnk", i / CBenchTree::kPerFolder, i);
        rows[i].shortcut = tree.TreeRoot() + name;
        rows[i].target = tree.TargetOf(i);
        rows[i].present = i % 4 != 3;
        rows[i].driveType = 3;
    }
    std::printf("output of %d rows, median:", count);
    for (const char* format : kFormats) {
        std::vector<double> times;
        for (int r = 0; r <= rounds; ++r) {
            const double t = Now();
            const std::string out = format[0] == 't'   ? cli::FormatText(rows)
                                    : format[0] == 'c' ? cli::FormatCsv(rows)
                                                       : cli::FormatJson(rows);
            if (r > 0)
                times.push_back(Now() - t);
        }
        std::printf("  %s %.3f s", format, Median(times));
    }
    std::printf("\n");

    CScannerBench bench(scanner, tree);
    const bool defaults = bench.Measure("defaults", false, rounds);
    const bool all = bench.Measure("--all", true, rounds);
    return defaults && all ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: veltmor_scanner_bench SCANNER [shortcuts] [rounds]\n");
        return 2;
    }
    const std::string scanner = argv[1][0] == '/' ? wintest::UnixToWindows(argv[1]) : argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    if (count < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: veltmor_scanner_bench SCANNER [shortcuts] [rounds]\n");
        return 2;
    }
    if (FAILED(CoInitialize(NULL)))
        return 1;
    const int status = Run(scanner, count, rounds);
    CoUninitialize();
    return status;
}
