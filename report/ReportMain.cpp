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
#include <string_view>
#include <system_error>
#include <thread>
#include <set>
#include <vector>

#include "Fleet.h"
#include "FleetFile.h"
#include "ReportWriter.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#include "PageTemplate.inc"  // kPageTemplate: report/page.html

const char kProgram[] = "veltmor-report: ";
constexpr int kExitWritten = 0;
constexpr int kExitRefused = 2;

const char kUsage[] =
    "usage: veltmor-report [--out DIR] [--stale-days N] [--as-of TIME] [--expected FILE] FOLDER\n"
    "\n"
    "Reads every .json file below FOLDER written by veltmor-scan --format report,\n"
    "one folder per machine (FOLDER\\PC-0001\\20261207-210511.json), and writes,\n"
    "in DIR (default: the current folder):\n"
    "  veltmor-report.html   the fleet on one page, for any current browser\n"
    "  veltmor-targets.csv   broken targets by program folder, with machine counts\n"
    "  veltmor-machines.csv  each machine's latest run\n"
    "  veltmor-broken.csv    each broken shortcut of each machine's latest run\n"
    "\n"
    "  --stale-days N   a machine whose latest run is older than N days is stale\n"
    "                   (default 7)\n"
    "  --as-of TIME     the report's time, such as 2026-12-07T00:00:00Z (default: now);\n"
    "                   runs dated over a day later are set aside\n"
    "  --expected FILE  the machines that should report, one name a line: those\n"
    "                   without a run are listed as never reported\n"
    "\n"
    "Exit status 0 when written, 2 on a usage error, when nothing could be written\n"
    "or when no file could be read.\n";

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

// The .json files below folder, relative to it, in byte order. Links (to
// files or folders) are not followed: a link could lead the walk anywhere,
// or round. They, pipes and other entries that are neither a plain file nor
// a folder are named in odd, relative too.
std::vector<std::string> Files(const fs::path& folder, std::vector<std::string>& odd, std::string& problem)
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
        const fs::file_status status = walk->symlink_status(kind);
        const std::string relative = Utf8(walk->path().lexically_relative(folder));
        bool link = fs::is_symlink(status);
#ifdef _WIN32
        // Junctions and other reparse points are links too, whatever the library takes them for.
        const DWORD attributes = ::GetFileAttributesW(walk->path().c_str());
        link = link || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT));
#endif
        if (link) {
            odd.push_back(relative + ": a link, not followed");
            walk.disable_recursion_pending();
        } else if (fs::is_regular_file(status)) {
            if (EndsWithJson(Utf8(walk->path().filename())))
                files.push_back(relative);
        } else if (!fs::is_directory(status))
            odd.push_back(relative + ": not a plain file");
    }
    std::sort(files.begin(), files.end());
    std::sort(odd.begin(), odd.end());
    return files;
}

// A plain file's bytes, read through the handle that was checked: never a
// link, a pipe (whose opening would wait for a writer) or a device.
bool ReadBytes(const fs::path& path, std::string& bytes, std::string& problem)
{
#ifdef _WIN32
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = "cannot be opened (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool good = false;
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        problem = "not a plain file";
    else if ((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow) > report::kMaxFileBytes)
        problem = "larger than 64 MiB";
    else {
        bytes.resize(info.nFileSizeLow);
        DWORD done = 0;
        good = bytes.empty() || (::ReadFile(file, &bytes[0], info.nFileSizeLow, &done, nullptr) &&
                                 done == info.nFileSizeLow);
        if (!good)
            problem = "cannot be read";
    }
    ::CloseHandle(file);
    return good;
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    struct stat info;
    bool good = false;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        problem = "not a plain file";
    else if (static_cast<std::uintmax_t>(info.st_size) > report::kMaxFileBytes)
        problem = "larger than 64 MiB";
    else {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t got = ::read(fd, &bytes[at], bytes.size() - at);
            if (got <= 0)
                break;
            at += static_cast<std::size_t>(got);
        }
        good = at == bytes.size();
        if (!good)
            problem = "cannot be read";
    }
    ::close(fd);
    return good;
#endif
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
    std::string text;
    if (ReadBytes(folder / PathOf(relative), text, read.problem))
        report::ReadScanRun(text, read.run, read.problem);
    return read;
}

// The machine a file belongs to: the folder it lies in, which must be the
// machine the file names. Empty, with why, when the file cannot be trusted.
std::string MachineOf(const report::ScanRun& run, std::string& problem)
{
    const fs::path parent = PathOf(run.file).parent_path();
    if (parent.empty()) {
        problem = "not in a machine's folder (FOLDER\\MACHINE\\file.json)";
        return std::string();
    }
    std::string key, named;
    if (!report::MachineKey(Utf8(parent.filename()), key, problem)) {
        problem = "its folder's name: " + problem;
        return std::string();
    }
    if (!report::MachineKey(run.machine, named, problem))
        return std::string();
    if (named != key) {
        problem = "names machine \"" + run.machine + "\" but lies in the folder of " + Utf8(parent.filename());
        return std::string();
    }
    return key;
}

// The machines --expected names, folded, each once, in the file's order;
// false when the file cannot be read.
bool ExpectedMachines(const std::string& file, std::vector<std::pair<std::string, std::string>>& expected)
{
    std::string text, problem;
    if (!ReadBytes(PathOf(file), text, problem)) {
        Say("--expected " + file + ": " + problem);
        return false;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    std::set<std::string> seen;
    std::size_t number = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (report::TrimmedName(line).empty())
            continue;
        std::string key;
        if (!report::MachineKey(line, key, problem))
            Say("--expected " + file + " line " + std::to_string(number) + ": " + problem);
        else if (seen.insert(key).second)
            expected.emplace_back(key, report::TrimmedName(line));
    }
    return true;
}

// The pieces of text as path, whole: written beside it, then renamed over it.
bool WriteWhole(const fs::path& path, const std::vector<std::string_view>& text, std::string& problem)
{
    fs::path temporary = path;
    temporary += ".tmp-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        bool good = !!out;
        for (const std::string_view piece : text)
            good = good && out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        if (!good || !out.flush()) {
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
    std::string out = ".", folder, asOfText, expectedFile;
    unsigned staleDays = 7;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valued = arg == "--out" || arg == "--stale-days" || arg == "--as-of" || arg == "--expected";
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
        } else if (arg == "--expected") {
            expectedFile = args[++i];
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
    std::vector<std::pair<std::string, std::string>> expected;  // (key, name)
    if (!expectedFile.empty() && !ExpectedMachines(expectedFile, expected))
        return kExitRefused;
    context.expectedGiven = !expectedFile.empty();
    std::string problem;
    std::vector<std::string> odd;
    const std::vector<std::string> files = Files(root, odd, problem);
    if (!problem.empty())
        return Refuse("cannot read " + folder + ": " + problem);
    for (const std::string& entry : odd)
        Say("skipped " + entry);
    context.filesSkipped = odd.size();

    // Read in batches on every processor, added in file order: memory holds
    // one batch and each machine's latest runs, not the whole share.
    report::CFleet fleet(context.asOf);
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
            std::string key;
            if (read.problem.empty())
                key = MachineOf(read.run, read.problem);
            // A copy of a run (same machine, same time, same bytes) is one run.
            for (const std::string& earlier : read.problem.empty() ? fleet.SameTime(key, read.run.seconds)
                                                                   : std::vector<std::string>()) {
                std::string mine, theirs, ignored;
                if (ReadBytes(root / PathOf(read.run.file), mine, ignored) &&
                    ReadBytes(root / PathOf(earlier), theirs, ignored) && mine == theirs) {
                    read.problem = "the same bytes as " + earlier;
                    break;
                }
            }
            if (!read.problem.empty()) {
                ++context.filesSkipped;
                Say("skipped " + read.run.file + ": " + read.problem);
                continue;
            }
            ++context.filesRead;
            const std::string file = read.run.file, time = read.run.time;
            if (!fleet.Add(key, std::move(read.run)))
                Say("set aside " + file + ": dated " + time + ", over a day after the report's time");
        }
    }

    const report::FleetTables tables = fleet.Tables(context.staleDays);
    std::set<std::string> reported;
    for (const report::MachineState& machine : tables.machines) {
        std::string key, why;
        if (report::MachineKey(machine.latest->machine, key, why))
            reported.insert(key);
    }
    for (const report::AheadRun& run : tables.ahead) {
        std::string key, why;
        if (report::MachineKey(run.machine, key, why))
            reported.insert(key);
    }
    for (const auto& machine : expected)
        if (!reported.count(machine.first))
            context.neverReported.push_back(machine.second);

    // One output in memory at a time, the page's data never copied into
    // the page: a large fleet's are each as large as its broken rows.
    const std::string_view page(kPageTemplate);
    const std::size_t at = page.find(report::kPlaceholder);
    if (at == std::string_view::npos)
        return Refuse("this build's page template has no place for the data");
    if (!WriteWhole(outDir / "veltmor-report.html",
                    {page.substr(0, at), report::PageData(tables, context),
                     page.substr(at + std::char_traits<char>::length(report::kPlaceholder))},
                    problem))
        return Refuse(problem);
    using Writer = std::string (*)(const report::FleetTables&);
    const std::pair<const char*, Writer> outputs[] = {
        {"veltmor-targets.csv", report::TargetsCsv},
        {"veltmor-machines.csv", report::MachinesCsv},
        {"veltmor-broken.csv", report::BrokenCsv},
    };
    for (const auto& output : outputs)
        if (!WriteWhole(outDir / output.first, {output.second(tables)}, problem))
            return Refuse(problem);
    Say(std::to_string(context.filesRead) + " files read, " + std::to_string(context.filesSkipped) + " skipped, " +
        std::to_string(tables.machines.size()) + " machines");
    // A page of no machine must not pass for a clean fleet.
    if (tables.machines.empty())
        return Refuse("no machine's run could be read: nothing to report" +
                      std::string(context.filesSkipped ? " (every file was skipped)" : " (no scan file found)"));
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
