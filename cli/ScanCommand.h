// The scanner itself: reads its arguments, checks the folders, runs the
// dialog's scan on each in turn and writes the rows in the chosen format.
#ifndef VELTMOR_CLI_SCANCOMMAND_H
#define VELTMOR_CLI_SCANCOMMAND_H

#include <map>
#include <string>
#include <vector>

#include "ScanArguments.h"
#include "ScanHost.h"
#include "ScanRow.h"
#include "scan/ScanPlatform.h"

namespace cli {

constexpr int kExitNoneMissing = 0;
constexpr int kExitSomeMissing = 1;  // a row with status "missing" was written
constexpr int kExitRefused = 2;      // usage, folder or output problem; no rows written

class CScanCommand {
public:
    CScanCommand(scan::ScanFileSystem& fileSystem, ScanHost& host);

    CScanCommand(const CScanCommand&) = delete;
    CScanCommand& operator=(const CScanCommand&) = delete;

    // args: the arguments after the program's name. Returns the exit status.
    int Run(const std::vector<std::string>& args);

private:
    // The rows of the folders, in order, as the dialog would list them with
    // these options. The folders are checked already.
    std::vector<ScanRow> Scan(const std::vector<std::string>& folders, bool ignoreRemovable,
                              bool displayAll);
    int Refuse(const std::string& problem);
    // Empty when the folder can be scanned; otherwise the problem.
    std::string CheckFolder(const std::string& folder);
    unsigned DriveTypeOf(const std::string& target);
    std::string Format(const std::vector<ScanRow>& rows, OutputFormat format);

    scan::ScanFileSystem& m_fileSystem;
    ScanHost& m_host;
    // Drive type by root. The system is asked once per root: a drive-type
    // query is a round trip to it (hundreds of microseconds under Wine), and
    // a scan's thousands of targets share a handful of roots.
    std::map<std::string, unsigned> m_driveTypes;
};

}  // namespace cli

#endif
