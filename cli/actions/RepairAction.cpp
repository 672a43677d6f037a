// --repair DIR: a broken shortcut whose moved target was found for certain
// is rewritten to it, its old bytes kept in DIR's layout.
#include "cli/ScanCommand.h"

namespace cli {

int CScanCommand::RunRepair(const ScanArguments& arguments)
{
    std::vector<ScanPlace> places;
    std::string problem = PlanPlaces(arguments, places);
    if (problem.empty())
        problem = KeepFolderProblem(arguments.repair, "quarantine", places);
    if (!problem.empty())
        return Refuse(problem);
    CQuarantine quarantine(*m_mover, m_fileSystem, m_host);
    problem = quarantine.Open(arguments.repair, CQuarantine::Purpose::Quarantine, arguments.dryRun);
    if (!problem.empty())
        return Refuse(problem);

    ScanResult result = Scan(places, arguments.ignoreRemovable, arguments.displayAll);
    const int written = WriteFound(result, arguments);
    if (written != kExitNoneMissing)
        return written;
    const std::vector<ScanRow> movable = MovableRows(result.rows, arguments);
    std::size_t repairing = 0;
    for (const ScanRow& row : movable) {
        const bool broken = row.Reason() == MissingReason::Missing || row.Reason() == MissingReason::InstallerOrphaned;
        const bool repairable = (broken || row.DriveLetterGone()) && !row.candidate.empty() &&
                                row.grade >= arguments.evidence && row.equallyGood == 0;
        repairing += row.unsafe.empty() && repairable ? 1 : 0;
    }
    problem = OverMaxMoves(repairing, arguments, true);
    if (!problem.empty())
        return Refuse(problem);
    return Logged(arguments, quarantine.Repair(RepairItems(movable), *m_retargeter, arguments.evidence),
                  quarantine.Events(), true);
}

}  // namespace cli
