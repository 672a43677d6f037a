// The fleet: every run read, each machine's latest run, and the tables the
// report shows. What counts where:
//   - a machine is its name, whatever its case; its latest run is the one
//     of the latest time (on a tie, the one whose file's path sorts last);
//   - broken: the rows of status "missing" of each machine's latest run;
//   - partial: a latest run with paths not scanned; stale: a latest run
//     older than the stale limit;
//   - a target's program folder: the folder below Program Files (either
//     one) or a user's AppData\Local\Programs that it lies in, otherwise its
//     own folder, with each user's profile folder read as Users\*;
//   - the trend: each day, the broken count of each machine's latest run
//     up to that day.
#ifndef VELTMOR_REPORT_FLEET_H
#define VELTMOR_REPORT_FLEET_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FleetFile.h"

namespace report {

// Case folded the way Windows names are compared, for ASCII.
std::string NameKey(const std::string& name);
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

struct MachineState {
    ScanRun latest;
    std::size_t runs = 0;
    bool stale = false;
};

struct FleetTables {
    std::vector<MachineState> machines;  // by name, case folded
    std::size_t machinesWithBroken = 0, broken = 0, unverified = 0, notScanned = 0, partial = 0, stale = 0;
    std::vector<Count> byReason, byLocation;  // most shortcuts first
    std::vector<ProgramCount> programs;       // most machines first
    std::vector<TrendDay> trend;              // oldest first
};

class CFleet {
public:
    // Runs may come in any order; a machine's runs in file order decide a
    // tie of times.
    void Add(ScanRun run);
    std::size_t Runs() const { return m_runs; }

    // The tables as of asOf (seconds since 1970). The latest runs' rows move
    // into them: call once, when every run has been added.
    FleetTables Tables(std::int64_t asOf, unsigned staleDays);

private:
    struct Machine {
        ScanRun latest;
        // (time, broken count) of each run, for the trend.
        std::vector<std::pair<std::int64_t, std::size_t>> history;
    };
    std::map<std::string, Machine> m_machines;  // by NameKey
    std::size_t m_runs = 0;
};

}  // namespace report

#endif
