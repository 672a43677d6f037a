// The shortcut inventory: --snapshot keeps the bytes of every shortcut a
// scan reads in a folder of its own, content-addressed (each distinct file
// once, named by its digest), with one list per run; it compares each list
// with the one before and counts the shortcuts that vanished while their
// targets stayed. --recover puts back, byte for byte, what a list holds and
// the machine lost, where the target is still there.
//
// DIR\snapshot.lock          held for the run: one run per folder
// DIR\lists\<time>-<n>.json  one list per snapshot, written whole
// DIR\content\9f\9f86d0...   the bytes, by their SHA-256
// DIR\manifest.json, DIR\journal.jsonl  what --recover wrote, as the quarantine's
//
// Every file of DIR is data someone may have tampered with: lists bounded and
// checked whole before anything is written; contents checked against their
// digest before a byte of them goes back.
#ifndef VELTMOR_CLI_SNAPSHOT_SNAPSHOT_H
#define VELTMOR_CLI_SNAPSHOT_SNAPSHOT_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "SnapshotList.h"
#include "cli/EventLog.h"
#include "cli/ScanHost.h"
#include "cli/ScanRow.h"
#include "cli/quarantine/Mover.h"
#include "cli/quarantine/QuarantineManifest.h"
#include "scan/ScanPlatform.h"

namespace cli {

// The last write time of a file, for the list; "" when it cannot be read.
class FileTimes {
public:
    virtual ~FileTimes() = default;
    virtual std::string WriteTime(const std::string& path) = 0;  // UTC, "2026-12-08T09:00:00Z"
};

// A folder a recovery may write below: a location of this machine now, or
// a folder given on the command line.
struct RecoverPlace {
    std::string folder;
    std::string unsafe;  // why nothing may be written there; empty: it may
};

// A snapshot's scan lists every shortcut, working or not: this leaves the
// rows the dialog lists with the options given (all; those proven missing;
// by default those proven missing on a fixed drive).
void KeepListed(std::vector<ScanRow>& rows, bool ignoreRemovable, bool displayAll);

class CSnapshot {
public:
    // times: may be null (write times left empty).
    CSnapshot(Mover& mover, scan::ScanFileSystem& fileSystem, ScanHost& host, FileTimes* times);

    CSnapshot(const CSnapshot&) = delete;
    CSnapshot& operator=(const CSnapshot&) = delete;

    // --snapshot, before the scan: checks the folder as the quarantine's is
    // checked, makes and locks it, reads and checks every list. Empty when
    // it can be used, otherwise the problem in one line (nothing written).
    std::string OpenForSnapshot(const std::string& folder);

    // After the scan: keeps the bytes of every row's shortcut and of every
    // .url file in the places, writes the list, compares it with the
    // previous one, then keeps the newest keep lists and the contents they
    // name. Empty, with vanished filled in, or the problem.
    std::string Take(const std::vector<ScanRow>& rows, const std::vector<SnapshotPlace>& places, unsigned keep,
                     VanishReport& vanished);

    // --recover: checks and (unless dryRun) locks the folder, folds in what
    // a killed recovery left in the journal, and reads the latest list not
    // newer than asOf ("": the latest). Empty, or the problem.
    std::string OpenForRecover(const std::string& folder, const std::string& asOf, bool dryRun);

    // After OpenForRecover: every shortcut of the list absent now whose
    // target is proven present now, written back below its place. allowed:
    // the folders it may write below; a list naming any other place is
    // refused whole. Returns kExitAllMoved or kExitSomeLeft, or, with
    // problem set, nothing was written (a refused list, more than maxMoves).
    int Recover(const std::vector<RecoverPlace>& allowed, unsigned long maxMoves, std::string& problem);

    // The time of the list OpenForRecover chose.
    const std::string& ChosenTime() const { return m_chosen.time; }

    const std::vector<MoveEvent>& Events() const { return m_events; }

private:
    std::string OpenFolder(const std::string& folder, bool make);
    // Sorts what the folder holds: list names, contents by digest hex,
    // leftovers of a killed run (removed); a file in lists\ that is not a
    // list refuses the folder.
    std::string Inventory();
    std::string ReadList(const std::string& name, SnapshotList& list);
    // Keeps bytes under their digest unless the store holds them.
    bool Keep(const std::string& digest, const std::string& bytes, std::string& problem);
    void Prune(const std::string& newest, unsigned keep);
    bool TargetPresent(const SnapshotItem& item, std::string& why);
    // roots: the folder each path of the list is reached from.
    void Replay(ManifestEntry& line, const std::map<std::string, std::string>& roots);
    void Named(const std::string& what, const std::string& path);

    Mover& m_mover;
    scan::ScanFileSystem& m_fileSystem;
    ScanHost& m_host;
    FileTimes* m_times;
    std::string m_folder;  // plain full path
    std::vector<std::string> m_lists;             // names below lists\, sorted
    std::set<std::string> m_contents;             // digest hex of every stored content
    std::map<std::string, std::vector<std::string>> m_named;  // list name: the hex it names
    SnapshotList m_previous;                      // the latest list before this run
    bool m_hasPrevious = false;
    SnapshotList m_chosen;                        // --recover's
    CManifest m_manifest;
    std::vector<ManifestEntry> m_replay;  // a killed recovery's journal lines
    std::string m_computer;
    bool m_dryRun = false;
    std::vector<MoveEvent> m_events;
};

}  // namespace cli

#endif
