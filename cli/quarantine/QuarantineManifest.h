// DIR\manifest.json: one entry per file moved into the quarantine folder or
// back out of it, for reports. The folder layout, not this file, is what a
// restore works from. DIR\journal.jsonl: the same entries, one line each,
// written as the moves happen; the next run folds it into the manifest, so a
// run killed at any moment loses no record. Both may have been written by
// someone else: they are read as data, bounded and checked, never trusted.
#ifndef VELTMOR_CLI_QUARANTINEMANIFEST_H
#define VELTMOR_CLI_QUARANTINEMANIFEST_H

#include <map>
#include <set>
#include <vector>
#include <string>

#include <nlohmann/json.hpp>

namespace cli {

// Far beyond any real manifest (a million entries) or a run's journal, far
// below what would exhaust a machine: a larger file is refused unread.
constexpr std::size_t kLargestManifest = std::size_t{512} << 20;
constexpr std::size_t kLargestJournal = std::size_t{256} << 20;

// All text UTF-8.
struct ManifestEntry {
    std::string action;    // "quarantine", "repair" or "restore"; in the journal also "moving", "repairing", "restoring"
    std::string original;  // the shortcut's own path
    std::string place;     // where it is (quarantine) or was (restore), relative to the folder
    std::string target;
    std::string reason;
    std::string location;
    std::string profile;
    std::string time;      // UTC, "2024-05-01T09:30:00Z"
    std::string computer;
    std::string version;   // the scanner's
    // The digest of the file moved (scan::Digest), or for a repair of the
    // file before, whose bytes are kept at place.
    std::string digest;
    // A repair only: the shortcut's new target and the digest of the file after.
    std::string newTarget;
    std::string repairedDigest;
};

class CManifest {
public:
    CManifest();

    // The text of an existing manifest. False, and the manifest left as it
    // was, when the text is not one (not JSON, nested deeper or larger than
    // a manifest is, or of another shape): such a file is never written over.
    bool Load(const std::string& text);

    // One line of the journal for an entry.
    static std::string JournalLine(const ManifestEntry& entry);

    // The lines of a journal that the manifest does not hold yet, in order
    // (a cut last line is left out). Each is a claim for the caller to check
    // against the files. False when a whole line is not an entry.
    bool Replay(const std::string& journal, std::vector<ManifestEntry>& lines);

    // A restore entry takes target, reason, location and profile from the
    // latest quarantine entry of the same original path.
    // Returns the entry as added.
    ManifestEntry Add(ManifestEntry entry);

    // The latest entry for original at place, when it is a repair: a
    // restore writes the kept bytes back over the repaired file, and only
    // over that.
    bool LatestRepair(const std::string& original, const std::string& place, ManifestEntry& entry) const;

    // True when the manifest holds this entry (action, paths and time).
    bool Has(const ManifestEntry& entry) const;

    std::size_t Entries() const { return m_document["entries"].size(); }

    // Indented UTF-8 JSON; bytes that are not UTF-8 come out as U+FFFD.
    std::string Text() const;

private:
    nlohmann::ordered_json m_document;
    // The latest quarantine entry of each original path: a restore of
    // thousands of files must not search the whole list for each.
    std::map<std::string, std::size_t> m_latest;
    std::set<std::string> m_keys;  // action, original, place and time of every entry
    // The latest entry of each original path and place, for the restore.
    std::map<std::string, std::size_t> m_latestAt;
};

}  // namespace cli

#endif
