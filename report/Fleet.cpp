#include "Fleet.h"

#include <algorithm>
#include <unordered_map>

#include "scan/PathText.h"
#include "scan/ProgramFolder.h"
#include "scan/WinPath.h"

namespace report {

namespace {

// A count by name, each machine counted once: machines are taken in turn.
struct Tally {
    Count count;
    std::size_t lastMachine = static_cast<std::size_t>(-1);

    void Add(std::size_t machine)
    {
        ++count.shortcuts;
        if (lastMachine != machine) {
            lastMachine = machine;
            ++count.machines;
        }
    }
};

std::vector<Count> Sorted(const std::map<std::string, Tally>& tallies)
{
    std::vector<Count> counts;
    for (const auto& tally : tallies)
        counts.push_back(tally.second.count);
    std::stable_sort(counts.begin(), counts.end(),
                     [](const Count& a, const Count& b) { return a.shortcuts > b.shortcuts; });
    return counts;
}

struct TargetTally {
    TargetCount count;
    std::string key;
    std::size_t lastMachine = static_cast<std::size_t>(-1);
};

struct ProgramTally {
    ProgramCount count;
    std::string key;
    std::size_t lastMachine = static_cast<std::size_t>(-1);
    std::unordered_map<std::string, std::size_t> targetIndex;  // by key, into targets
    std::vector<TargetTally> targets;
    std::vector<std::size_t> machines;
};

template <typename T>
bool MoreMachinesFirst(const T& a, const T& b, const std::string& aKey, const std::string& bKey)
{
    if (a.machines != b.machines)
        return a.machines > b.machines;
    if (a.shortcuts != b.shortcuts)
        return a.shortcuts > b.shortcuts;
    return aKey < bKey;
}

std::vector<ProgramCount> ProgramTable(const std::vector<MachineState>& machines,
                                       std::vector<std::vector<std::size_t>>& programMachines)
{
    std::unordered_map<std::string, std::size_t> index;
    std::vector<ProgramTally> programs;
    for (std::size_t m = 0; m < machines.size(); ++m) {
        for (const BrokenRow& row : machines[m].latest->broken) {
            if (row.target.empty())
                continue;
            const std::string target = WithoutUser(row.target);
            const std::string folder = ProgramFolder(target);
            const std::string folderKey = NameKey(folder);
            auto found = index.find(folderKey);
            if (found == index.end()) {
                found = index.emplace(folderKey, programs.size()).first;
                programs.emplace_back();
                programs.back().count.folder = folder;
                programs.back().key = folderKey;
            }
            ProgramTally& program = programs[found->second];
            ++program.count.shortcuts;
            if (program.lastMachine != m) {
                program.lastMachine = m;
                ++program.count.machines;
                program.machines.push_back(m);
            }
            const std::string targetKey = NameKey(target);
            auto known = program.targetIndex.find(targetKey);
            if (known == program.targetIndex.end()) {
                known = program.targetIndex.emplace(targetKey, program.targets.size()).first;
                program.targets.emplace_back();
                program.targets.back().count.target = target;
                program.targets.back().key = targetKey;
            }
            TargetTally& tally = program.targets[known->second];
            ++tally.count.shortcuts;
            if (tally.lastMachine != m) {
                tally.lastMachine = m;
                ++tally.count.machines;
            }
        }
    }
    std::sort(programs.begin(), programs.end(), [](const ProgramTally& a, const ProgramTally& b) {
        return MoreMachinesFirst(a.count, b.count, a.key, b.key);
    });
    std::vector<ProgramCount> table;
    table.reserve(programs.size());
    for (ProgramTally& program : programs) {
        std::sort(program.targets.begin(), program.targets.end(), [](const TargetTally& a, const TargetTally& b) {
            return MoreMachinesFirst(a.count, b.count, a.key, b.key);
        });
        for (TargetTally& target : program.targets)
            program.count.targets.push_back(std::move(target.count));
        table.push_back(std::move(program.count));
        programMachines.push_back(std::move(program.machines));
    }
    return table;
}

// Unicode simple case folding (CaseFolding.txt, status C and S) for the
// scripts machine names are written in: Basic Latin, Latin-1, Latin
// Extended-A, Latin Extended Additional (Vietnamese), Greek (not the
// polytonic Greek Extended block), Cyrillic with its Supplement, Armenian
// and the full-width Latin letters. Other letters are compared as written.
// Each range either adds a delta to every code point or, as kPairs, folds
// each even-offset code point (the capital) to the next one.
constexpr int kPairs = 0;
struct FoldRange {
    char32_t first, last;
    int delta;
};
const FoldRange kFolds[] = {
    {0x41, 0x5A, 32},          {0xB5, 0xB5, 0x3BC - 0xB5}, {0xC0, 0xD6, 32},          {0xD8, 0xDE, 32},
    {0x100, 0x12F, kPairs},    {0x132, 0x137, kPairs},     {0x139, 0x148, kPairs},    {0x14A, 0x177, kPairs},
    {0x178, 0x178, 0xFF - 0x178}, {0x179, 0x17E, kPairs},  {0x17F, 0x17F, 's' - 0x17F}, {0x345, 0x345, 0x3B9 - 0x345},
    {0x370, 0x373, kPairs},    {0x376, 0x376, 1},          {0x37F, 0x37F, 0x3F3 - 0x37F}, {0x386, 0x386, 38},
    {0x388, 0x38A, 37},        {0x38C, 0x38C, 64},         {0x38E, 0x38F, 63},        {0x391, 0x3A1, 32},
    {0x3A3, 0x3AB, 32},        {0x3C2, 0x3C2, 1},          {0x3CF, 0x3CF, 8},         {0x3D0, 0x3D0, 0x3B2 - 0x3D0},
    {0x3D1, 0x3D1, 0x3B8 - 0x3D1}, {0x3D5, 0x3D5, 0x3C6 - 0x3D5}, {0x3D6, 0x3D6, 0x3C0 - 0x3D6},
    {0x3D8, 0x3EF, kPairs},    {0x3F0, 0x3F0, 0x3BA - 0x3F0}, {0x3F1, 0x3F1, 0x3C1 - 0x3F1},
    {0x3F4, 0x3F4, 0x3B8 - 0x3F4}, {0x3F5, 0x3F5, 0x3B5 - 0x3F5}, {0x3F7, 0x3F7, 1}, {0x3F9, 0x3F9, 0x3F2 - 0x3F9},
    {0x3FA, 0x3FA, 1},         {0x3FD, 0x3FF, 0x37B - 0x3FD}, {0x400, 0x40F, 80},     {0x410, 0x42F, 32},
    {0x460, 0x481, kPairs},    {0x48A, 0x4BF, kPairs},     {0x4C0, 0x4C0, 15},        {0x4C1, 0x4CE, kPairs},
    {0x4D0, 0x52F, kPairs},    {0x531, 0x556, 48},         {0x1E00, 0x1E95, kPairs},  {0x1E9B, 0x1E9B, 0x1E61 - 0x1E9B},
    {0x1E9E, 0x1E9E, 0xDF - 0x1E9E}, {0x1EA0, 0x1EFF, kPairs}, {0xFF21, 0xFF3A, 32},
};

char32_t SimpleFold(char32_t c)
{
    for (const FoldRange& range : kFolds) {
        if (c < range.first)
            break;
        if (c <= range.last)
            return range.delta != kPairs ? static_cast<char32_t>(static_cast<int>(c) + range.delta)
                                         : (c - range.first) % 2 == 0 ? c + 1 : c;
    }
    return c;
}

// The next code point of UTF-8 text, or false at its end or at a byte that
// is not well-formed UTF-8 (then at is left where it failed).
bool NextCodePoint(const std::string& text, std::size_t& at, char32_t& c, bool& bad)
{
    bad = false;
    if (at >= text.size())
        return false;
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                                                           : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size()) {
        bad = true;
        return false;
    }
    c = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            bad = true;
            return false;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        bad = true;
        return false;
    }
    at += length;
    return true;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Unicode's space separators (Zs).
bool IsSpace(char32_t c)
{
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// A broken shortcut from one run to the next: its shortcut and its target.
std::string Identity(const BrokenRow& row)
{
    return row.shortcut + '\n' + row.target;
}

std::int64_t DayOf(std::int64_t seconds)
{
    return seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
}

}  // namespace

std::string NameKey(const std::string& name)
{
    return scan::AsciiUpper(name);
}

std::string TrimmedName(const std::string& name)
{
    std::size_t first = name.size(), end = 0, at = 0;
    char32_t c;
    bool bad;
    for (std::size_t before = 0; NextCodePoint(name, at, c, bad); before = at)
        if (!IsSpace(c)) {
            first = std::min(first, before);
            end = at;
        }
    if (bad)
        return name;  // refused by MachineKey, shown as it was
    return first < end ? name.substr(first, end - first) : std::string();
}

bool MachineKey(const std::string& name, std::string& key, std::string& problem)
{
    const std::string trimmed = TrimmedName(name);
    key.clear();
    std::size_t at = 0;
    char32_t c;
    bool bad = false;
    while (NextCodePoint(trimmed, at, c, bad)) {
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            problem = "a control character in the machine name";
            return false;
        }
        AppendUtf8(key, SimpleFold(c));
    }
    if (bad)
        problem = "the machine name is not UTF-8";
    else if (key.empty())
        problem = "an empty machine name";
    return !bad && !key.empty();
}

std::string WithoutUser(const std::string& path)
{
    if (!scan::IsDriveRooted(path) || !scan::HasAsciiTextAt(path, 3, "Users\\"))
        return path;
    const std::size_t name = 3 + 6;
    const std::size_t end = path.find('\\', name);
    if (end == std::string::npos || end == name)
        return path;
    // One spelling for every user's folder, whatever case each file wrote.
    return path.substr(0, 3) + "Users\\*" + path.substr(end);
}

std::string ProgramFolder(const std::string& target)
{
    // Drives only: a share's programs are grouped by their own folder. The
    // names are split as written, doubled backslashes and all, so that the
    // folder is the target's own text.
    std::string root;
    std::vector<std::string> names;
    if (scan::IsDriveRooted(target) && scan::SplitFullPath(target, root, names, true)) {
        const scan::ProgramPlace place = scan::LocateProgram(root, names, scan::StandardProgramsFolders());
        if (place.within)
            return target.substr(0, 3) + scan::JoinPathParts(names, 0, place.program + 1);
    }
    return target.find('\\') == std::string::npos ? target : scan::FolderTextOf(target);
}

bool CFleet::Add(const std::string& key, ScanRun run)
{
    if (run.seconds > m_asOf + 86400) {
        m_ahead.push_back({TrimmedName(run.machine), run.time, run.file});
        return false;
    }
    Machine& machine = m_machines[key];
    machine.history.emplace_back(run.seconds, run.broken.size());
    machine.files.push_back(run.file);
    run.machine = TrimmedName(run.machine);
    const RunPtr added = std::make_shared<const ScanRun>(std::move(run));
    // Later in file order wins a tie.
    if (!machine.latest || added->seconds >= machine.latest->seconds) {
        machine.previous = std::move(machine.latest);
        machine.latest = added;
    } else if (!machine.previous || added->seconds >= machine.previous->seconds) {
        machine.previous = added;
    }
    const std::int64_t weekAgo = m_asOf - 7 * 86400;
    if (added->seconds <= weekAgo && (!machine.weekAgo || added->seconds >= machine.weekAgo->seconds))
        machine.weekAgo = added;
    return true;
}

std::vector<std::string> CFleet::SameTime(const std::string& key, std::int64_t seconds) const
{
    std::vector<std::string> files;
    const auto found = m_machines.find(key);
    if (found != m_machines.end())
        for (std::size_t i = 0; i < found->second.history.size(); ++i)
            if (found->second.history[i].first == seconds)
                files.push_back(found->second.files[i]);
    return files;
}

namespace {

// from's broken rows that to does not hold, by index into from.
std::vector<std::size_t> NotIn(const std::vector<BrokenRow>& from, const std::vector<BrokenRow>& to)
{
    std::unordered_map<std::string, std::size_t> held;
    for (const BrokenRow& row : to)
        ++held[Identity(row)];
    std::vector<std::size_t> missing;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const auto found = held.find(Identity(from[i]));
        if (found == held.end() || found->second == 0)
            missing.push_back(i);
        else
            --found->second;
    }
    return missing;
}

}  // namespace

FleetTables CFleet::Tables(unsigned staleDays)
{
    FleetTables tables;
    tables.ahead = std::move(m_ahead);
    std::map<std::string, Tally> reasons, locations, kinds;
    std::int64_t firstDay = 0, lastDay = 0;
    bool anyRun = false;
    for (auto& entry : m_machines) {
        Machine& machine = entry.second;
        const std::size_t m = tables.machines.size();
        MachineState state;
        state.latest = machine.latest;
        state.runs = machine.history.size();
        state.stale = m_asOf - state.latest->seconds > static_cast<std::int64_t>(staleDays) * 86400;
        const ScanRun& run = *state.latest;
        if (machine.previous) {
            state.hasPrevious = true;
            state.fresh = NotIn(run.broken, machine.previous->broken);
            for (std::size_t i : NotIn(machine.previous->broken, run.broken))
                state.fixed.push_back(machine.previous->broken[i]);
        }
        if (machine.weekAgo) {
            ++tables.weekMachines;
            for (std::size_t i : NotIn(run.broken, machine.weekAgo->broken))
                tables.weekNew.push_back({m, run.broken[i]});
            for (std::size_t i : NotIn(machine.weekAgo->broken, run.broken))
                tables.weekFixed.push_back({m, machine.weekAgo->broken[i]});
        }
        machine.previous.reset();
        machine.weekAgo.reset();
        tables.machinesWithBroken += run.broken.empty() ? 0 : 1;
        tables.broken += run.broken.size();
        tables.unreachable += run.unreachable.size();
        tables.unverified += run.unverified;
        tables.unverifiedNotRecorded += run.unverifiedRecorded ? 0 : 1;
        tables.notScanned += run.notScanned.size();
        tables.partial += run.notScanned.empty() ? 0 : 1;
        tables.stale += state.stale ? 1 : 0;
        tables.snapshotMachines += run.snapshot ? 1 : 0;
        tables.vanished += run.vanishedCount;
        if (run.vanishedCount > 0)
            tables.lostMachines.push_back(m);
        bool orphaned = false;
        for (const BrokenRow& row : run.broken) {
            if (row.reason == "installer-orphaned") {
                ++tables.orphaned;
                orphaned = true;
            }
            Tally& kind = kinds[row.kind];
            kind.count.name = row.kind;
            kind.Add(m);
            Tally& reason = reasons[row.reason];
            reason.count.name = row.reason;
            reason.Add(m);
            Tally& location = locations[row.location];
            location.count.name = row.location;
            location.Add(m);
        }
        tables.machinesWithOrphaned += orphaned ? 1 : 0;
        for (const auto& seen : machine.history) {
            const std::int64_t day = DayOf(seen.first);
            firstDay = anyRun ? std::min(firstDay, day) : day;
            lastDay = anyRun ? std::max(lastDay, day) : day;
            anyRun = true;
        }
        tables.machines.push_back(std::move(state));
    }
    tables.byReason = Sorted(reasons);
    tables.byLocation = Sorted(locations);
    tables.byKind = Sorted(kinds);
    std::stable_sort(tables.lostMachines.begin(), tables.lostMachines.end(), [&tables](std::size_t a, std::size_t b) {
        return tables.machines[a].latest->vanishedCount > tables.machines[b].latest->vanishedCount;
    });
    tables.programs = ProgramTable(tables.machines, tables.programMachines);
    if (!anyRun)
        return tables;

    // Each machine's count holds from the day of a run until the day of its
    // next; differences per day, summed once.
    firstDay = std::max(firstDay, lastDay - 365);
    const std::size_t days = static_cast<std::size_t>(lastDay - firstDay + 1);
    std::vector<long long> broken(days + 1, 0), reporting(days + 1, 0);
    for (const auto& entry : m_machines) {
        std::vector<std::pair<std::int64_t, std::size_t>> history = entry.second.history;
        std::stable_sort(history.begin(), history.end(),
                         [](const std::pair<std::int64_t, std::size_t>& a,
                            const std::pair<std::int64_t, std::size_t>& b) { return a.first < b.first; });
        long long held = 0;
        bool counted = false;
        for (const auto& seen : history) {
            const std::size_t at = static_cast<std::size_t>(std::max(DayOf(seen.first), firstDay) - firstDay);
            broken[at] += static_cast<long long>(seen.second) - held;
            held = static_cast<long long>(seen.second);
            if (!counted) {
                ++reporting[at];
                counted = true;
            }
        }
    }
    long long brokenSum = 0, reportingSum = 0;
    for (std::size_t d = 0; d < days; ++d) {
        brokenSum += broken[d];
        reportingSum += reporting[d];
        tables.trend.push_back({FormatUtcDay(firstDay + static_cast<std::int64_t>(d)),
                                static_cast<std::size_t>(brokenSum), static_cast<std::size_t>(reportingSum)});
    }
    return tables;
}

}  // namespace report
