// Rows for the log engines fleets already run (Azure Monitor, Elastic,
// Splunk): one JSON object a line, UTF-8 without a byte order mark, LF line
// ends, appended to one file a day. The fields follow the Elastic Common
// Schema's names as nested objects (@timestamp, host.name, user.name,
// event.kind, event.action, event.outcome, file.path, file.target_path);
// what is ours lies under veltmor.
#ifndef VELTMOR_CLI_EVENTLOG_H
#define VELTMOR_CLI_EVENTLOG_H

#include <string>
#include <vector>

#include "ScanRow.h"

namespace cli {

constexpr int kLogSchema = 1;

// Who wrote the lines, and when (UTC, "2026-12-07T21:05:11Z").
struct LogSource {
    std::string time, machine, user, version;
};

// A change a run made, or left undone.
struct MoveEvent {
    std::string action;  // "quarantine", "restore" or "repair"
    bool done = false;
    std::string path;    // the shortcut's own path
    std::string target;  // its target when it was moved
    std::string newTarget;  // a repair's
    std::string why;     // why it was left, when not done
    std::string location, profile;
};

// "veltmor-20261207.jsonl" for the day of time; "" when time is not a UTC
// time of that form.
std::string LogFileName(const std::string& time);

// The run's line (veltmor.status "run", with the counts of broken,
// unverified and not-scanned; event.outcome "failure" when one is broken),
// then one line per row (event.action "scan"; event.outcome "success" for
// a working shortcut, "failure" for a broken one: reason missing or
// unreadable; "unknown" otherwise) and one per path the walk passed over.
// All carry the run's one time.
std::string ScanLogLines(const LogSource& source, const std::vector<ScanRow>& rows,
                         const std::vector<NotScannedPath>& notScanned);

// One line per change, done ("success") or left ("failure").
std::string MoveLogLines(const LogSource& source, const std::vector<MoveEvent>& moves);

// The day files among names that are older than keep days before time's
// day: the day itself and the keep - 1 before it stay.
std::vector<std::string> ExpiredLogFiles(const std::vector<std::string>& names, const std::string& time,
                                         unsigned keep);

}  // namespace cli

#endif
