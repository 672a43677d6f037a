// The scanner itself: reads its arguments, checks the folders, finds the
// locations asked for, runs the dialog's scan on each in turn and writes the
// rows in the chosen format.
#ifndef VELTMOR_CLI_SCANCOMMAND_H
#define VELTMOR_CLI_SCANCOMMAND_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "EventLog.h"
#include "cli/quarantine/Mover.h"
#include "cli/quarantine/Quarantine.h"
#include "cli/quarantine/Retargeter.h"
#include "cli/suggest/Suggest.h"
#include "ParallelScan.h"
#include "ScanArguments.h"
#include "NoteKeepingHost.h"
#include "PlacePlanner.h"
#include "RowFormat.h"
#include "ScanHost.h"
#include "ScanRow.h"
#include "Trust.h"
#include "cli/snapshot/Snapshot.h"
#include "scan/ScanPlatform.h"

namespace cli {

constexpr int kExitNoneMissing = 0;
constexpr int kExitSomeMissing = 1;  // a row with status "missing" was written
constexpr int kExitRefused = 2;      // usage, folder or output problem; no rows written
// A run with --snapshot found shortcuts that vanished while their targets
// stayed (wins over 1; 2 wins over it).
constexpr int kExitVanished = 3;

// What one run found: the rows, in order, and how many paths the walk had
// to pass over (each already named on standard error).
struct ScanResult {
    std::vector<ScanRow> rows;
    std::vector<NotScannedPath> notScanned;
};

class CScanCommand {
public:
    CScanCommand(scan::ScanFileSystem& fileSystem, ScanHost& host);

    CScanCommand(const CScanCommand&) = delete;
    CScanCommand& operator=(const CScanCommand&) = delete;

    // args: the arguments after the program's name. Returns the exit status.
    int Run(const std::vector<std::string>& args);

    // The file systems of --jobs' reader threads; without them every scan
    // reads on the calling thread.
    void SetReaders(ReaderFileSystems& readers) { m_readers = &readers; }

    // The quarantine's file operations; without them --quarantine and
    // --restore are refused.
    void SetMover(Mover& mover) { m_mover = &mover; }

    // Where --suggest looks, and how --repair changes a shortcut; without
    // them those are refused.
    void SetSuggestSource(SuggestSource& source) { m_suggest = &source; }
    void SetRetargeter(Retargeter& retargeter) { m_retargeter = &retargeter; }

    // Who may change a folder, and whether this run is elevated; without it
    // no folder's owner or rights are checked.
    void SetSecurityReader(SecurityReader& reader) { m_security = &reader; }

    // The write times --snapshot's lists record; without it they are empty.
    void SetFileTimes(FileTimes& times) { m_times = &times; }

private:
    int RunParsed(const ScanArguments& arguments);
    // The rows of the places, in order, as the dialog would list them with
    // these options, with the reason of each empty target read again.
    ScanResult Scan(const std::vector<ScanPlace>& places, bool ignoreRemovable, bool displayAll);
    int Refuse(const std::string& problem);
    int WriteRows(const ScanResult& result, const ScanArguments& arguments);
    unsigned DriveTypeOf(const std::string& target);
    std::string Format(const ScanResult& result, const ScanArguments& arguments);
    ReportHeader Header(const ScanArguments& arguments);
    // A candidate for each row whose target is missing, from what its
    // shortcut file stored.
    void Suggest(std::vector<ScanRow>& rows);
    // --log: appends this run's rows (held in m_logLines since they were
    // written) and its changes to the day's file, removes the expired ones,
    // and gives the run's status; a log that cannot be written fails a scan.
    int Logged(const ScanArguments& arguments, int status, const std::vector<MoveEvent>& moves, bool changes);
    LogSource LogSourceNow();
    // --repair: each row's candidate judged by where it lies and who may
    // write there (candidateUnsafe).
    void JudgeCandidates(std::vector<ScanRow>& rows);
    // Why an elevated run may not use folder (given to --quarantine,
    // --repair or --restore); empty when it may.
    std::string UntrustedKeepFolder(const std::string& folder);
    // The actions, one file each under cli/actions, chosen by the table in
    // RunParsed. --recover writes below this machine's locations of every
    // profile and the folders given, nothing else.
    int RunList(const ScanArguments& arguments);
    int RunQuarantine(const ScanArguments& arguments);
    int RunRepair(const ScanArguments& arguments);
    int RunRestore(const ScanArguments& arguments);
    int RunSnapshot(const ScanArguments& arguments);
    int RunRecover(const ScanArguments& arguments);

    // The steps they share. The folders to scan, each checked (the Start
    // Menu when none is named); empty, or the problem.
    std::string PlanPlaces(const ScanArguments& arguments, std::vector<ScanPlace>& places);
    // Why folder may not keep what a run takes (what: "quarantine",
    // "snapshot"): it lies in a scanned folder or holds one, or others than
    // the administrators may change it; empty when it may.
    std::string KeepFolderProblem(const std::string& folder, const char* what, const std::vector<ScanPlace>& places);
    // Why the 32-bit build may not change shortcuts here; empty when it may.
    std::string RefusedUnderWow64(const char* option);
    // Suggestions when asked, then the rows, --log's lines and the summary
    // line: 0, or the status of a failed write.
    int WriteFound(ScanResult& result, const ScanArguments& arguments);
    // A scan's status: 1 for a broken row, 0 for none, 3 over both for the
    // vanish alarm, after --log is written.
    int ListedStatus(const ScanArguments& arguments, const std::vector<ScanRow>& rows);
    // The rows a change may act on: pins only with --include-pins, never
    // the Tombstone; the pins left are counted on standard error.
    std::vector<ScanRow> MovableRows(const std::vector<ScanRow>& rows, const ScanArguments& arguments);
    // What a quarantine and a repair do first: the places planned, folder
    // checked and opened, the scan and its rows written; the rows a change
    // may act on in movable. 0 to go on; otherwise the status to end with.
    int ScanForChange(const ScanArguments& arguments, const std::string& folder, CQuarantine& quarantine,
                      std::vector<ScanRow>& movable);
    // --max-moves' refusal when changing is over it; empty otherwise.
    std::string OverMaxMoves(std::size_t changing, const ScanArguments& arguments, bool repair);
    // A status with the vanish alarm: 3 over 0 and 1, never over 2.
    int Alarmed(int status) const;

    scan::ScanFileSystem& m_fileSystem;
    CNoteKeepingHost m_host;
    CPlacePlanner m_places;  // after m_host, whose notes it writes
    std::string m_summary;  // --summary's line, once the rows are written
    std::string m_logLines;  // --log's lines of the rows, once they are written
    Mover* m_mover = nullptr;  // we don't own it
    SuggestSource* m_suggest = nullptr;  // we don't own it
    Retargeter* m_retargeter = nullptr;  // we don't own it
    SecurityReader* m_security = nullptr;  // we don't own it
    FileTimes* m_times = nullptr;  // we don't own it
    VanishReport m_vanished;  // --snapshot's, once taken
    // Drive type by root. The system is asked once per root: a drive-type
    // query is a round trip to it (hundreds of microseconds under Wine), and
    // a scan's thousands of targets share a handful of roots.
    std::map<std::string, unsigned> m_driveTypes;


    ReaderFileSystems* m_readers = nullptr;  // we don't own it
    unsigned m_jobs = 1;
};

}  // namespace cli

#endif
