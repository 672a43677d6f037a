// One file of the fleet: what veltmor-scan --format report wrote on one
// machine at one time, as far as the report needs it. The files come from
// thousands of machines through a share anyone in the fleet may write to,
// so each is checked field by field and refused whole when it is not ours.
#ifndef VELTMOR_REPORT_FLEETFILE_H
#define VELTMOR_REPORT_FLEETFILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace report {

// The schema this reader knows; a file of a higher one is refused.
constexpr int kSchema = 1;
// Larger files are refused unread: no scan of one machine comes near.
constexpr std::uintmax_t kMaxFileBytes = 64u << 20;
// A file of more rows is refused: a machine has some hundreds of shortcuts,
// and one file must not cost the reader (or a browser) without bound.
constexpr std::size_t kMaxRows = 100000;

struct BrokenRow {
    std::string shortcut, target, reason, location, profile;
    // "lnk", "pif", "url" or "appref-ms": as written, or (files older than
    // the field) from the shortcut's extension.
    std::string kind;
};

// A shortcut gone since the machine's previous snapshot while its target is
// still there: what the scan says of it, shown as text.
struct VanishedRow {
    std::string shortcut, target, lastSeen, location, profile;
};

// The scan keeps at most this many vanished shortcuts by name; the count is
// the full number.
constexpr std::size_t kMaxVanished = 1000;

// The kind of a shortcut from its name's extension (ASCII case ignored).
const char* KindOfName(const std::string& shortcut);

struct ScanRun {
    std::string file;  // relative to the folder read, '/' between names
    std::string machine, user, time, version;
    std::int64_t seconds = 0;  // time, since 1970-01-01 UTC
    // Broken: status "missing" for the reasons the scanner calls broken
    // ("missing", "unreadable", "installer-orphaned"), in order. Targets on removable, CD or
    // network drives ("unreachable-drive") are kept apart: the drive may
    // only be away. "installer-managed", "no-file-target" and "not-a-file"
    // rows are not broken and are not kept.
    std::vector<BrokenRow> broken, unreachable;
    std::vector<std::string> notScanned;  // paths of status "not-scanned"
    std::vector<std::string> notes;
    std::size_t unverified = 0;
    // Only a scan with --all writes unverified rows: without it, 0 means
    // "not recorded", not "none".
    bool unverifiedRecorded = false;
    // A run with --snapshot: how many shortcuts vanished since the previous
    // snapshot (taken at vanishedSince, "" for the first), the first of them.
    bool snapshot = false;
    std::size_t vanishedCount = 0;
    std::string vanishedSince;
    std::vector<VanishedRow> vanished;
};

// Reads text into run (file is left as it was) as a stream of events, so
// memory holds the text and the rows kept, never a tree of the whole file.
// False, with why, when the text is not a report this reader can trust.
bool ReadScanRun(const std::string& text, ScanRun& run, std::string& problem);

// "2026-12-07T21:05:11Z", exactly, to seconds since 1970; false otherwise.
bool ParseUtcTime(const std::string& text, std::int64_t& seconds);
std::string FormatUtcTime(std::int64_t seconds);
std::string FormatUtcDay(std::int64_t day);  // days since 1970 -> 2026-12-07

}  // namespace report

#endif
