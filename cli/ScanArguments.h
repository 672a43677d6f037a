// The scanner's command line:
//   veltmor-scan [--all] [--include-removable] [--format text|csv|json|report]
//                [--location NAME[,NAME...]] [--all-profiles] [--output FILE] [--summary]
//                [--quarantine DIR [--dry-run]] [--suggest]
//                [--repair DIR [--evidence exact|likely] [--dry-run]]
//                [FOLDER...]
//   veltmor-scan --restore DIR [--dry-run]   (quarantined and repaired alike)
#ifndef VELTMOR_CLI_SCANARGUMENTS_H
#define VELTMOR_CLI_SCANARGUMENTS_H

#include <string>
#include <vector>

#include "ScanLocations.h"
#include "cli/RowKinds.h"

namespace cli {

enum class OutputFormat { Text, Csv, Json, Report };

struct ScanArguments {
    enum class Action { Scan, Help, Version, Refuse };
    // What a Scan does, worked out once from the options: each has its own
    // file under cli/actions and its own line in the command's table.
    enum class Verb { List, Quarantine, Repair, Restore, Snapshot, Recover };

    Action action = Action::Scan;
    Verb verb = Verb::List;
    bool displayAll = false;       // --all: the dialog's "Display All Items"
    bool ignoreRemovable = true;   // cleared by --include-removable
    OutputFormat format = OutputFormat::Text;
    std::vector<std::string> folders;  // in the order given
    std::vector<Location> locations;   // --location, each once; none and no folder: the Start Menu
    bool allProfiles = false;          // --all-profiles: the per-user locations of every profile
    unsigned jobs = 0;                 // --jobs: reader threads; 0: one per processor
    std::string output;                // --output FILE: the rows go there, whole or not at all
    // --summary: the output ends with one line for consoles that show only a
    // script's last line; standard error stays empty unless the run failed.
    bool summary = false;
    std::string quarantine;            // --quarantine DIR: after the scan, move the missing there
    std::string restore;               // --restore DIR: move them back; no scan
    // --max-moves N: more than N shortcuts to move and nothing moves; 0: no bound.
    unsigned long maxMoves = 0;
    bool dryRun = false;               // --dry-run: say what would move, move nothing
    // --include-pins: --quarantine and --repair act on taskbar and Start pins
    // too (never on Explorer's Tombstone folder).
    bool includePins = false;
    // --suggest: a candidate for each missing target, with its evidence.
    bool suggest = false;
    // --repair DIR: retarget the shortcuts whose candidate is proven at
    // least as well as --evidence says (exact, or likely), keeping their
    // bytes in DIR as the quarantine keeps them.
    std::string repair;
    Grade evidence = Grade::Exact;
    // --log DIR: this run's rows and moves, one JSON object a line, appended
    // to DIR's file of the day; --log-keep: days of files kept.
    std::string log;
    unsigned logKeep = 14;
    // --snapshot DIR: keep every shortcut's bytes and a list of them in DIR,
    // and say which vanished since the previous list; --keep: lists kept.
    std::string snapshot;
    unsigned keep = 30;
    // --recover DIR: put back what DIR's list (the latest, or the latest
    // not newer than --as-of, a full UTC time) holds and the machine lost.
    std::string recover;
    std::string asOf;
    std::string problem;               // Refuse: what is wrong, in one line

    // args: the arguments after the program's name. Read left to right;
    // --help and --version win over whatever follows them, the first
    // mistake wins over everything.
    static ScanArguments Parse(const std::vector<std::string>& args);

    // The text --help prints.
    static const char* Usage();
};

}  // namespace cli

#endif
