// The scanner's three output formats. Text and CSV keep the system code page
// (ANSI) text as it is; JSON is UTF-8 and takes a converter for the paths.
#ifndef VELTMOR_CLI_ROWFORMAT_H
#define VELTMOR_CLI_ROWFORMAT_H

#include <functional>
#include <string>
#include <vector>

#include "ScanRow.h"

namespace cli {

// Aligned columns under a heading, then a count of the rows and, when some
// were passed over, of the folders and files not scanned; lines end in
// CRLF. Only the count when there are no rows. The Location and Profile
// columns come last, and only with places: a scan of given folders alone
// reads as it always did.
std::string FormatText(const std::vector<ScanRow>& rows, std::size_t notScanned = 0, bool places = false);

// RFC 4180: a header line, CRLF line ends, a field quoted when it holds a
// comma, a double quote or a line break, its quotes doubled. The columns
// added later (location, profile) come last, so readers of the first five
// keep working.
std::string FormatCsv(const std::vector<ScanRow>& rows);

// One JSON document: an array of objects with the keys shortcut, target,
// status, drive, reason (null for a present target), location and profile,
// in that order.
using ToUtf8 = std::function<std::string(const std::string& ansi)>;
std::string FormatJson(const std::vector<ScanRow>& rows, const ToUtf8& toUtf8);

}  // namespace cli

#endif
