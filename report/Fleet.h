// The fleet: every run read, each machine's latest run, and the tables the
// report shows. What counts where:
//   - a machine is the folder its files lie in; its name is folded (Unicode
//     simple case folding, surrounding spaces trimmed) and a file naming
//     another machine is refused by the caller;
//   - its latest run is the one of the latest time (on a tie, the one whose
//     file's path sorts last); a run dated over a day after the report's
//     time is set aside (a machine's clock gone wrong must not hold the
//     latest run for a year, nor stretch the trend);
//   - broken: the rows of reasons "missing", "unreadable" and
//     "installer-orphaned" of each machine's latest run, counted by reason,
//     location and kind; "unreachable-drive" rows are counted apart;
//   - lost shortcuts: the vanished count of each machine's latest run that
//     took a snapshot;
//   - partial: a latest run with paths not scanned; stale: a latest run
//     older than the stale limit;
//   - a target's program folder: the folder below Program Files (either
//     one) or a user's AppData\Local\Programs that it lies in, otherwise its
//     own folder, with each user's profile folder read as Users\*;
//   - the trend: each day, the broken count of each machine's latest run
//     up to that day;
//   - changes: a broken shortcut (its shortcut path and target) new or fixed
//     between a machine's previous and latest runs, and fleet-wide between
//     each machine's latest run a week before the report and its latest.
#ifndef VELTMOR_REPORT_FLEET_H
#define VELTMOR_REPORT_FLEET_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FleetFile.h"

namespace report {

// Paths folded the way Windows compares them, for ASCII.
std::string NameKey(const std::string& name);
// A machine's name as compared: trimmed of surrounding spaces and case
// folded. False, with why, for an empty name, one holding control
// characters, or text that is not UTF-8.
bool MachineKey(const std::string& name, std::string& key, std::string& problem);
std::string TrimmedName(const std::string& name);
// X:\Users\<name>\... read as X:\Users\*\...
std::string WithoutUser(const std::string& path);
// The program folder of a target (already read WithoutUser).
std::string ProgramFolder(const std::string& target);

struct Count {
    std::string name;
    std::size_t shortcuts = 0, machines = 0;
};

struct TargetCount {
    std::string target;
    std::size_t machines = 0, shortcuts = 0;
};

struct ProgramCount {
    std::string folder;
    std::size_t machines = 0, shortcuts = 0;
    std::vector<TargetCount> targets;  // most machines first
};

struct TrendDay {
    std::string day;
    std::size_t broken = 0, machines = 0;
};

using RunPtr = std::shared_ptr<const ScanRun>;

struct MachineState {
    RunPtr latest;
    std::size_t runs = 0;
    bool stale = false;
    bool hasPrevious = false;
    std::vector<std::size_t> fresh;  // latest broken rows not in the previous run
    std::vector<BrokenRow> fixed;    // previous broken rows not in the latest
};

struct Change {
    std::size_t machine;  // into FleetTables::machines
    BrokenRow row;
};

struct AheadRun {
    std::string machine, time, file;
};

struct FleetTables {
    std::vector<MachineState> machines;  // by name, case folded
    std::size_t machinesWithBroken = 0, broken = 0, unreachable = 0, unverified = 0, unverifiedNotRecorded = 0,
                notScanned = 0, partial = 0, stale = 0;
    std::vector<Count> byReason, byLocation, byKind;  // most shortcuts first
    // Broken shortcuts of products the installer no longer knows.
    std::size_t orphaned = 0, machinesWithOrphaned = 0;
    // Latest runs that took a snapshot; those that found shortcuts vanished
    // (into machines, most vanished first), and how many vanished in all.
    std::size_t snapshotMachines = 0, vanished = 0;
    std::vector<std::size_t> lostMachines;
    std::vector<ProgramCount> programs;       // most machines first
    std::vector<std::vector<std::size_t>> programMachines;  // of each program, into machines
    std::vector<TrendDay> trend;              // oldest first
    // Over the week before the report: machines with a run before it, and
    // their new and fixed broken shortcuts, machine by machine.
    std::size_t weekMachines = 0;
    std::vector<Change> weekNew, weekFixed;
    std::vector<AheadRun> ahead;  // runs dated after the report, set aside
};

class CFleet {
public:
    explicit CFleet(std::int64_t asOf) : m_asOf(asOf) {}

    // A run of the machine whose key is given. Runs may come in any order;
    // a machine's runs in file order decide a tie of times. False when the
    // run is dated over a day after asOf: set aside, listed, not counted.
    bool Add(const std::string& key, ScanRun run);
    // The files of the machine's runs already added at this very time.
    std::vector<std::string> SameTime(const std::string& key, std::int64_t seconds) const;

    // The tables as of asOf. Call once, when every run has been added.
    FleetTables Tables(unsigned staleDays);

private:
    struct Machine {
        RunPtr latest, previous, weekAgo;
        // (time, broken count, file) of each run, for the trend.
        std::vector<std::pair<std::int64_t, std::size_t>> history;
        std::vector<std::string> files;
    };
    std::int64_t m_asOf;
    std::map<std::string, Machine> m_machines;  // by MachineKey
    std::vector<AheadRun> m_ahead;
};

}  // namespace report

#endif
