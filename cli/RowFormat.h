// The scanner's three output formats, all UTF-8 text: the host turns text
// into the console's characters, or the code page of a pipe.
#ifndef VELTMOR_CLI_ROWFORMAT_H
#define VELTMOR_CLI_ROWFORMAT_H

#include <string>
#include <vector>

#include "ScanRow.h"
#include "SnapshotTerms.h"

namespace cli {

// Aligned columns under a heading, then a count of the rows and, when some
// were passed over, of the folders and files not scanned; lines end in
// CRLF. Only the count when there are no rows. The Location and Profile
// columns come last, and only with places: a scan of given folders alone
// reads as it always did.
std::string FormatText(const std::vector<ScanRow>& rows, std::size_t notScanned = 0, bool places = false);

// The rows of csv and json: the scan's rows, then a row of status
// "not-scanned" for each path the walk passed over, so that a script can
// tell a complete scan from a partial one.

// RFC 4180: a header line, CRLF line ends, a field quoted when it holds a
// comma, a double quote or a line break, its quotes doubled. The columns
// added later (location, profile) come last, so readers of the first five
// keep working.
// With suggestions (--suggest), three columns more: candidate, grade
// (exact, likely, name-only) and evidence, empty where none was found.
std::string FormatCsv(const std::vector<ScanRow>& rows, const std::vector<NotScannedPath>& notScanned = {},
                      bool suggestions = false);

// One JSON document: an array of objects with the keys shortcut, target,
// status, drive, reason (null for a present target), location, profile and
// detail (null unless unverified), in that order.
// With suggestions, the keys candidate, grade and evidence too (null where
// none was found).
std::string FormatJson(const std::vector<ScanRow>& rows, const std::vector<NotScannedPath>& notScanned = {},
                       bool suggestions = false);

// The report format: one JSON object on one line saying where, when and how
// the scan ran, with json's array of rows under "rows", so that a folder of
// them, one per machine and run, can be read as a fleet (veltmor-report).
// A reader refuses a file whose schema is higher than the one it knows.
constexpr int kReportSchema = 1;
struct ReportHeader {
    std::string version, machine, user, time;  // time: UTC, 2026-12-07T21:05:11Z
    bool all = false, includeRemovable = false, allProfiles = false;
    std::vector<std::string> locations, folders;
    std::vector<std::string> notes;  // what standard error said or would have said
    bool suggestions = false;
    // --snapshot: options.snapshot, and the "vanished" object.
    VanishReport vanished;
};
std::string FormatReport(const ReportHeader& header, const std::vector<ScanRow>& rows,
                         const std::vector<NotScannedPath>& notScanned);

// One line, at most kSummaryLimit bytes of UTF-8 before its CRLF, for the
// consoles that show only a script's last line: the broken shortcuts'
// count by reason, the unverified and not-scanned counts, then as many
// whole broken paths as fit and how many did not.
constexpr std::size_t kSummaryLimit = 2048;
// With a snapshot whose alarm rang: ", N vanished since TIME" after the counts.
std::string FormatSummary(const std::vector<ScanRow>& rows, std::size_t notScanned,
                          const VanishReport& vanished = VanishReport());

}  // namespace cli

#endif
