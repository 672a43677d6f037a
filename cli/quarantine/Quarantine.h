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
#include "QuarantineManifest.h"
#include "cli/ScanHost.h"
#include "cli/ScanRow.h"
#include "scan/ScanPlatform.h"

namespace cli {

constexpr int kExitAllMoved = 0;  // every file that should move did, or none had to
constexpr int kExitSomeLeft = 1;  // some stayed where they were, each named on standard error

// One row of the scan, UTF-8.
struct QuarantineItem {
    std::string shortcut;
    std::string target;
    std::string reason;    // only "missing" moves
    std::string location;
    std::string profile;
    std::string root;      // the scanned folder it was found below; no link may lie between
    std::string unsafe;    // why it may never move; empty: it may
    std::string digest;    // of the file as scanned; empty: read it again through the shell
    std::shared_ptr<const ProfileRecord> otherProfile;  // whose variables its target was read with
};

// The scan's rows as the quarantine takes them, in the same order.
std::vector<QuarantineItem> QuarantineItems(const std::vector<ScanRow>& rows);

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
    int Quarantine(const std::vector<QuarantineItem>& items);

    // After Open: moves every file below the folder back to its original
    // path. Returns kExitAllMoved or kExitSomeLeft.
    int Restore();

private:
    // The manifest, with what the journal of a killed run holds folded in.
    std::string ReadRecords();
    bool MakeParent(const std::string& path);
    // Makes destination's folder in the quarantine folder; the problem when
    // it cannot, or a link lies on the way.
    std::string SafeParent(const std::string& destination);
    // The first link from below root down to path itself; "" when none.
    std::string LinkOnWay(const std::string& root, const std::string& path);
    // One line of the journal, before or after a move.
    bool Record(const ManifestEntry& entry);
    void Left(const char* what, const std::string& path);
    ManifestEntry Entry(const char* action, const std::string& original, const std::string& place);
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
    std::set<std::string> m_linkFree;     // folders seen to be plain folders this run
    std::set<std::string> m_madeFolders;  // known to exist: one system call fewer per file
};

}  // namespace cli

#endif
