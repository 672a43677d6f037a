// --quarantine DIR: the broken shortcuts scanned move into DIR's layout.
#include "cli/ScanCommand.h"

namespace cli {

int CScanCommand::RunQuarantine(const ScanArguments& arguments)
{
    CQuarantine quarantine(*m_mover, m_fileSystem, m_host);
    std::vector<ScanRow> movable;
    const int scanned = ScanForChange(arguments, arguments.quarantine, quarantine, movable);
    if (scanned != kExitNoneMissing)
        return scanned;
    std::size_t moving = 0;
    for (const ScanRow& row : movable) {
        const bool broken = row.Reason() == MissingReason::Missing || row.Reason() == MissingReason::InstallerOrphaned;
        moving += row.unsafe.empty() && broken ? 1 : 0;
    }
    const std::string problem = OverMaxMoves(moving, arguments, false);
    if (!problem.empty())
        return Refuse(problem);
    const int moved = quarantine.Quarantine(movable);
    return Logged(arguments, moved, quarantine.Events(), true);
}

int CScanCommand::ScanForChange(const ScanArguments& arguments, const std::string& folder, CQuarantine& quarantine,
                                std::vector<ScanRow>& movable)
{
    std::vector<ScanPlace> places;
    std::string problem = PlanPlaces(arguments, places);
    if (problem.empty())
        problem = KeepFolderProblem(folder, "quarantine", places);
    // The folder is made and written before the scan: one that cannot be
    // used stops the run before anything moves.
    if (problem.empty())
        problem = quarantine.Open(folder, CQuarantine::Purpose::Quarantine, arguments.dryRun);
    if (!problem.empty())
        return Refuse(problem);
    ScanResult result = Scan(places, arguments.ignoreRemovable, arguments.displayAll);
    const int written = WriteFound(result, arguments);
    if (written != kExitNoneMissing)
        return written;
    movable = MovableRows(result.rows, arguments);
    return kExitNoneMissing;
}

}  // namespace cli
