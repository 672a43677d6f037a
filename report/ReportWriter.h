// What veltmor-report writes from the fleet's tables: the page's data, the
// page itself (the template with the data in it) and the two CSV files.
#ifndef VELTMOR_REPORT_REPORTWRITER_H
#define VELTMOR_REPORT_REPORTWRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Fleet.h"

namespace report {

struct ReportContext {
    std::string version;  // veltmor-report's
    std::int64_t asOf = 0;
    unsigned staleDays = 7;
    std::size_t filesRead = 0, filesSkipped = 0;
    bool expectedGiven = false;
    std::vector<std::string> neverReported;  // --expected's machines without a run
};

// The page shows this many programs, each with this many targets; the CSV
// has them all.
constexpr std::size_t kPagePrograms = 100;
constexpr std::size_t kPageTargets = 20;

// One JSON object in which nothing can end the script element it is put
// in: every <, > and & (and U+2028, U+2029) is a \u escape.
std::string PageData(const FleetTables& tables, const ReportContext& context);

// The template with its one placeholder replaced by the data; empty when
// the template has no placeholder.
std::string Page(const std::string& pageTemplate, const std::string& data);
extern const char kPlaceholder[];

// UTF-8 with a byte order mark (so spreadsheets read it as such), CRLF,
// RFC 4180 quoting; a cell a spreadsheet would take for a formula gets a
// leading apostrophe.
std::string TargetsCsv(const FleetTables& tables);
std::string MachinesCsv(const FleetTables& tables);
// One line per broken shortcut of each machine's latest run.
std::string BrokenCsv(const FleetTables& tables);

}  // namespace report

#endif
