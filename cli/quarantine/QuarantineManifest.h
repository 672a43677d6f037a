// DIR\manifest.json: one entry per file moved into the quarantine folder or
// back out of it, for reports. The folder layout, not this file, is what a
// restore works from.
#ifndef VELTMOR_CLI_QUARANTINEMANIFEST_H
#define VELTMOR_CLI_QUARANTINEMANIFEST_H

#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace cli {

// All text UTF-8.
struct ManifestEntry {
    std::string action;    // "quarantine" or "restore"
    std::string original;  // the shortcut's own path
    std::string place;     // where it is (quarantine) or was (restore), relative to the folder
    std::string target;
    std::string reason;
    std::string location;
    std::string profile;
    std::string time;      // UTC, "2024-05-01T09:30:00Z"
    std::string computer;
    std::string version;   // the scanner's
};

class CManifest {
public:
    CManifest();

    // The text of an existing manifest. False, and the manifest left as it
    // was, when the text is not one: such a file is never written over.
    bool Load(const std::string& text);

    // A restore entry takes target, reason, location and profile from the
    // latest quarantine entry of the same original path.
    void Add(ManifestEntry entry);

    std::size_t Entries() const { return m_document["entries"].size(); }

    // Indented UTF-8 JSON; bytes that are not UTF-8 come out as U+FFFD.
    std::string Text() const;

private:
    nlohmann::ordered_json m_document;
    // The latest quarantine entry of each original path: a restore of
    // thousands of files must not search the whole list for each.
    std::map<std::string, std::size_t> m_latest;
};

}  // namespace cli

#endif
