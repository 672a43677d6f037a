// veltmor-report: reads a folder of veltmor-scan --format report files, one
// per machine and run, and writes the fleet's page and two CSV files. A
// file that is damaged, cut short, of another version or not ours is named
// and passed over; only a usage error or an output that cannot be written
// stops it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "FleetFile.h"
#include "ReportWriter.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

#include "PageTemplate.inc"  // kPageTemplate: report/page.html

const char kProgram[] = "veltmor-report: ";
constexpr int kExitWritten = 0;
constexpr int kExitRefused = 2;

const char kUsage[] =
    "usage: veltmor-report [--out DIR] [--stale-days N] [--as-of TIME] FOLDER\n"
    "\n"
    "Reads every .json file below FOLDER written by veltmor-scan --format report\n"
    "and writes, in DIR (default: the current folder):\n"
    "  veltmor-report.html   the fleet on one page, for any current browser\n"
    "  veltmor-targets.csv   broken targets by program folder, with machine counts\n"
    "  veltmor-machines.csv  each machine's latest run\n"
    "\n"
    "  --stale-days N  a machine whose latest run is older than N days is stale\n"
    "                  (default 7)\n"
    "  --as-of TIME    the report's time, such as 2026-12-07T00:00:00Z (default: now)\n";

// Control characters of a name from the share must not reach a terminal.
std::string Printable(const std::string& text)
{
    std::string shown = text;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f')
            c = '?';
    return shown;
}

void Say(const std::string& line)
{
    std::fprintf(stderr, "%s%s\n", kProgram, Printable(line).c_str());
}

std::string Utf8(const fs::path& path)
{
    const auto text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

fs::path PathOf(const std::string& utf8)
{
    return fs::u8path(utf8);
}

bool EndsWithJson(const std::string& name)
{
    if (name.size() < 5)
        return false;
    std::string end = name.substr(name.size() - 5);
    std::transform(end.begin(), end.end(), end.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return end == ".json";
}

// The .json files below folder, relative to it, in byte order; folder
// links are not followed (a link could lead the walk anywhere, or round).
std::vector<std::string> Files(const fs::path& folder, std::string& problem)
{
    std::vector<std::string> files;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, error);
    if (error) {
        problem = error.message();
        return files;
    }
    for (const fs::recursive_directory_iterator end; walk != end; walk.increment(error)) {
        if (error) {
            Say("cannot read a folder below " + Utf8(folder) + ": " + error.message());
            break;
        }
        std::error_code kind;
        if (walk->is_regular_file(kind) && !walk->is_symlink(kind) && EndsWithJson(Utf8(walk->path().filename())))
            files.push_back(Utf8(walk->path().lexically_relative(folder)));
    }
    std::sort(files.begin(), files.end());
    return files;
}

// One file read and checked; problem says why not.
struct Read {
    report::ScanRun run;
    std::string problem;
};

Read ReadFile(const fs::path& folder, const std::string& relative)
{
    Read read;
    read.run.file = relative;
    const fs::path path = folder / PathOf(relative);
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        read.problem = error.message();
        return read;
    }
    if (size > report::kMaxFileBytes) {
        read.problem = "larger than 64 MiB";
        return read;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!in || !in.read(&text[0], static_cast<std::streamsize>(size))) {
        read.problem = "cannot be read";
        return read;
    }
    report::ReadScanRun(text, read.run, read.problem);
    return read;
}

// text as path, whole: written beside it, then renamed over it.
bool WriteWhole(const fs::path& path, const std::string& text, std::string& problem)
{
    fs::path temporary = path;
    temporary += ".tmp-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(text.data(), static_cast<std::streamsize>(text.size())) || !out.flush()) {
            problem = "cannot write " + Utf8(temporary);
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
#ifdef _WIN32
    if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        problem = "cannot replace " + Utf8(path) + " (error " + std::to_string(::GetLastError()) + ")";
#else
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) {
        problem = "cannot replace " + Utf8(path) + ": " + error.message();
#endif
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

int Refuse(const std::string& problem)
{
    Say(problem);
    return kExitRefused;
}

int Run(const std::vector<std::string>& args)
{
    std::string out = ".", folder, asOfText;
    unsigned staleDays = 7;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valued = arg == "--out" || arg == "--stale-days" || arg == "--as-of";
        if (valued && i + 1 == args.size())
            return Refuse(arg + " needs a value");
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitWritten;
        } else if (arg == "--version") {
            std::puts(VELTMOR_VERSION);
            return kExitWritten;
        } else if (arg == "--out") {
            out = args[++i];
        } else if (arg == "--stale-days") {
            const std::string& value = args[++i];
            if (value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos)
                return Refuse("--stale-days takes a number of days, 0 to 9999");
            staleDays = static_cast<unsigned>(std::stoul(value));
        } else if (arg == "--as-of") {
            asOfText = args[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return Refuse("unknown option \"" + arg + "\" (see --help)");
        } else if (folder.empty()) {
            folder = arg;
        } else {
            return Refuse("one FOLDER only (see --help)");
        }
    }
    if (folder.empty())
        return Refuse("name the FOLDER of scan reports (see --help)");

    report::ReportContext context;
    context.version = VELTMOR_VERSION;
    context.staleDays = staleDays;
    if (asOfText.empty()) {
        context.asOf = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    } else if (!report::ParseUtcTime(asOfText, context.asOf)) {
        return Refuse("--as-of takes a UTC time such as 2026-12-07T00:00:00Z");
    }

    const fs::path root = PathOf(folder), outDir = PathOf(out);
    std::error_code error;
    if (!fs::is_directory(root, error))
        return Refuse("no such folder: " + folder);
    if (!fs::is_directory(outDir, error))
        return Refuse("no such output folder: " + out);
    std::string problem;
    const std::vector<std::string> files = Files(root, problem);
    if (!problem.empty())
        return Refuse("cannot read " + folder + ": " + problem);

    // Read in batches on every processor, added in file order: memory holds
    // one batch and each machine's latest run, not the whole share.
    report::CFleet fleet;
    const std::size_t threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    const std::size_t batch = 64 * threads;
    for (std::size_t first = 0; first < files.size(); first += batch) {
        const std::size_t count = std::min(batch, files.size() - first);
        std::vector<Read> reads(count);
        std::vector<std::future<void>> workers;
        for (std::size_t t = 0; t < threads; ++t)
            workers.push_back(std::async(std::launch::async, [&, t] {
                for (std::size_t i = t; i < count; i += threads)
                    reads[i] = ReadFile(root, files[first + i]);
            }));
        for (std::future<void>& worker : workers)
            worker.get();
        for (Read& read : reads) {
            if (read.problem.empty()) {
                ++context.filesRead;
                fleet.Add(std::move(read.run));
            } else {
                ++context.filesSkipped;
                Say("skipped " + read.run.file + ": " + read.problem);
            }
        }
    }

    const report::FleetTables tables = fleet.Tables(context.asOf, context.staleDays);
    const std::string page = report::Page(kPageTemplate, report::PageData(tables, context));
    if (page.empty())
        return Refuse("this build's page template has no place for the data");
    const std::pair<const char*, std::string> outputs[] = {
        {"veltmor-report.html", page},
        {"veltmor-targets.csv", report::TargetsCsv(tables)},
        {"veltmor-machines.csv", report::MachinesCsv(tables)},
    };
    for (const auto& output : outputs)
        if (!WriteWhole(outDir / output.first, output.second, problem))
            return Refuse(problem);
    Say(std::to_string(context.filesRead) + " files read, " + std::to_string(context.filesSkipped) + " skipped, " +
        std::to_string(tables.machines.size()) + " machines");
    return kExitWritten;
}

}  // namespace

#ifdef _WIN32
// The wide command line: the ANSI one has lost what the code page cannot spell.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &arg[0], size, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(arg);
    }
    return Run(args);
}
#else
int main(int argc, char** argv)
{
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
