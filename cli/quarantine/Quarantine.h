// Moving broken shortcuts into a quarantine folder and back, so that a
// clean-up run unattended on many machines can be undone file by file.
// Only rows whose reason is "missing" move; each keeps its whole original
// path as folders inside the quarantine folder; nothing is ever written over.
#ifndef VELTMOR_CLI_QUARANTINE_H
#define VELTMOR_CLI_QUARANTINE_H

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Mover.h"
#include "cli/EventLog.h"
#include "Retargeter.h"
#include "QuarantineManifest.h"
#include "cli/ScanHost.h"
#include "cli/ScanRow.h"
#include "scan/ScanPlatform.h"

namespace cli {

constexpr int kExitAllMoved = 0;  // every file that should move did, or none had to
constexpr int kExitSomeLeft = 1;  // some stayed where they were, each named on standard error

// What the journal and the manifest keep of a change to row's shortcut, the
// only place a row becomes one: the scan's words for it, original (its full
// path), place (in the folder) and digest (of the bytes moved or kept). The
// caller adds the action, the time and who wrote it.
ManifestEntry RowEntry(const ScanRow& row, const std::string& original, const std::string& place,
                       const std::string& digest);

class CQuarantine {
public:
    enum class Purpose { Quarantine, Restore };

    // fileSystem: the scan's, for testing targets again; host: the streams.
    CQuarantine(Mover& mover, scan::ScanFileSystem& fileSystem, ScanHost& host);

    CQuarantine(const CQuarantine&) = delete;
    CQuarantine& operator=(const CQuarantine&) = delete;

    // Checks folder and reads its manifest; unless
    // dryRun, makes the folder and writes the manifest back, which proves it
    // can be written before anything moves. Empty when the folder can be
    // used, otherwise the problem in one line.
    std::string Open(const std::string& folder, Purpose purpose, bool dryRun);

    // After Open: moves each missing row's shortcut into the folder. Returns
    // kExitAllMoved or kExitSomeLeft.
    int Quarantine(const std::vector<ScanRow>& rows);

    // After Open: for each shortcut whose target is proven missing (or whose
    // drive letter no longer exists) and whose proposal has at least grade
    // least and no equal, keeps the file's bytes in the folder, in the
    // quarantine's layout, then sets its target to the candidate, in place,
    // only while the file is the one scanned; never one whose
    // candidateUnsafe says why not. Returns kExitAllMoved or kExitSomeLeft.
    int Repair(const std::vector<ScanRow>& rows, Retargeter& retargeter, Grade least);

    // After Open: moves every file below the folder back to its original
    // path; a repaired shortcut gets its kept bytes back. Returns
    // kExitAllMoved or kExitSomeLeft.
    int Restore();

    // What this run changed, and what it left undone, in order (none for a
    // dry run): for the log.
    const std::vector<MoveEvent>& Events() const { return m_events; }

private:
    void Done(const ManifestEntry& entry);
    // The checks a shortcut passes before anything of it moves or changes:
    // Go, with its full path and its place in the folder; Left, named on
    // standard error; Skip, a shortcut seen already or that works again.
    // verb: what did not happen to it ("not moved").
    enum class Check { Go, Left, Skip };
    Check Checked(const ScanRow& row, std::set<std::string>& seen, const char* verb, std::string& original,
                  std::string& place, std::string& root);
    // The digest of the file as scanned (read again through the shell when
    // the scan noted none); empty, named on standard error, when it changed.
    std::string ScannedDigest(const ScanRow& row, const std::string& root, const std::string& original);
    // Folds in one line of a killed run's journal, as far as the files
    // prove it happened.
    void Replay(ManifestEntry& line);
    void Ignored(const char* why, const ManifestEntry& line);
    // Finishes the copies the file store holds back (Mover::Settle); false,
    // named on standard error, when one could not be.
    bool Settled();
    // Removes the temporary files a killed run left in the folder.
    void RemoveLeftovers();
    // Puts a repaired shortcut's kept bytes back over it.
    bool RestoreRepaired(const ManifestEntry& repair, const std::string& inQuarantine, std::string& report);
    // The manifest, with what the journal of a killed run holds folded in.
    std::string ReadRecords();
    // Words for what a file operation said, when it was not Yes.
    std::string Why(Mover::Moved result, const char* taken);
    // One line of the journal, before or after a move.
    bool Record(const ManifestEntry& entry);
    void Left(const char* what, const std::string& path);
    // Left, counted in left.
    void Leave(const std::string& what, const std::string& path, std::size_t& left);
    ManifestEntry Entry(const char* action, const std::string& original, const std::string& place);
    // The same, with what the scan said of row and the digest of its bytes.
    ManifestEntry Entry(const char* action, const ScanRow& row, const std::string& original,
                        const std::string& place, const std::string& digest);
    // entry with the action, this run's time and who wrote it.
    ManifestEntry Stamped(const char* action, ManifestEntry entry);
    bool SaveManifest();

    Mover& m_mover;
    scan::ScanFileSystem& m_fileSystem;
    ScanHost& m_host;
    bool m_dryRun = false;
    Purpose m_purpose = Purpose::Quarantine;
    std::string m_folder;  // UTF-8, plain full path
    std::string m_manifestPath;
    std::string m_journalPath;
    std::string m_computer;
    CManifest m_manifest;
    const char* m_action = "quarantine";  // of the events
    std::vector<MoveEvent> m_events;
};

}  // namespace cli

#endif
