#include "Fleet.h"

#include <algorithm>
#include <unordered_map>

namespace report {

namespace {

bool StartsWithFolded(const std::string& text, std::size_t at, const char* prefix)
{
    for (std::size_t i = 0; prefix[i]; ++i) {
        if (at + i >= text.size())
            return false;
        char c = text[at + i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        char p = prefix[i];
        if (p >= 'a' && p <= 'z')
            p = static_cast<char>(p - 'a' + 'A');
        if (c != p)
            return false;
    }
    return true;
}

bool DriveRooted(const std::string& path)
{
    return path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

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

std::vector<ProgramCount> ProgramTable(const std::vector<MachineState>& machines)
{
    std::unordered_map<std::string, std::size_t> index;
    std::vector<ProgramTally> programs;
    for (std::size_t m = 0; m < machines.size(); ++m) {
        for (const BrokenRow& row : machines[m].latest.broken) {
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
    }
    return table;
}

std::int64_t DayOf(std::int64_t seconds)
{
    return seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
}

}  // namespace

std::string NameKey(const std::string& name)
{
    std::string key = name;
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return key;
}

std::string WithoutUser(const std::string& path)
{
    if (!DriveRooted(path) || !StartsWithFolded(path, 3, "Users\\"))
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
    if (DriveRooted(target)) {
        for (const char* prefix :
             {"Program Files\\", "Program Files (x86)\\", "Users\\*\\AppData\\Local\\Programs\\"}) {
            if (!StartsWithFolded(target, 3, prefix))
                continue;
            const std::size_t below = 3 + std::char_traits<char>::length(prefix);
            const std::size_t next = target.find('\\', below);
            if (next != std::string::npos)
                return target.substr(0, next);
            break;
        }
    }
    const std::size_t last = target.rfind('\\');
    return last == std::string::npos ? target : target.substr(0, last);
}

void CFleet::Add(ScanRun run)
{
    ++m_runs;
    Machine& machine = m_machines[NameKey(run.machine)];
    machine.history.emplace_back(run.seconds, run.broken.size());
    // Later in file order wins a tie.
    if (machine.history.size() == 1 || run.seconds >= machine.latest.seconds)
        machine.latest = std::move(run);
}

FleetTables CFleet::Tables(std::int64_t asOf, unsigned staleDays)
{
    FleetTables tables;
    std::map<std::string, Tally> reasons, locations;
    std::int64_t firstDay = 0, lastDay = 0;
    bool anyRun = false;
    for (auto& entry : m_machines) {
        Machine& machine = entry.second;
        const std::size_t m = tables.machines.size();
        MachineState state;
        state.latest = std::move(machine.latest);
        state.runs = machine.history.size();
        state.stale = asOf - state.latest.seconds > static_cast<std::int64_t>(staleDays) * 86400;
        const ScanRun& run = state.latest;
        tables.machinesWithBroken += run.broken.empty() ? 0 : 1;
        tables.broken += run.broken.size();
        tables.unverified += run.unverified;
        tables.notScanned += run.notScanned.size();
        tables.partial += run.notScanned.empty() ? 0 : 1;
        tables.stale += state.stale ? 1 : 0;
        for (const BrokenRow& row : run.broken) {
            Tally& reason = reasons[row.reason];
            reason.count.name = row.reason;
            reason.Add(m);
            Tally& location = locations[row.location];
            location.count.name = row.location;
            location.Add(m);
        }
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
    tables.programs = ProgramTable(tables.machines);
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
