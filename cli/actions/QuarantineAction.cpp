// --quarantine DIR: the broken shortcuts scanned move into DIR's layout.
#include "cli/ScanCommand.h"

namespace cli {

int CScanCommand::RunQuarantine(const ScanArguments& arguments)
{
    std::vector<ScanPlace> places;
    std::string problem = PlanPlaces(arguments, places);
    if (problem.empty())
        problem = KeepFolderProblem(arguments.quarantine, "quarantine", places);
    if (!problem.empty())
        return Refuse(problem);
    // The folder is made and written before the scan: one that cannot be
    // used stops the run before anything moves.
    CQuarantine quarantine(*m_mover, m_fileSystem, m_host);
    problem = quarantine.Open(arguments.quarantine, CQuarantine::Purpose::Quarantine, arguments.dryRun);
    if (!problem.empty())
        return Refuse(problem);

    ScanResult result = Scan(places, arguments.ignoreRemovable, arguments.displayAll);
    const int written = WriteFound(result, arguments);
    if (written != kExitNoneMissing)
        return written;
    const std::vector<ScanRow> movable = MovableRows(result.rows, arguments);
    std::size_t moving = 0;
    for (const ScanRow& row : movable) {
        const bool broken = row.Reason() == MissingReason::Missing || row.Reason() == MissingReason::InstallerOrphaned;
        moving += row.unsafe.empty() && broken ? 1 : 0;
    }
    problem = OverMaxMoves(moving, arguments, false);
    if (!problem.empty())
        return Refuse(problem);
    const int moved = quarantine.Quarantine(QuarantineItems(movable));
    return Logged(arguments, moved, quarantine.Events(), true);
}

}  // namespace cli
