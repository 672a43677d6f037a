// --repair DIR: a broken shortcut whose moved target was found for certain
// is rewritten to it, its old bytes kept in DIR's layout.
#include "cli/ScanCommand.h"

namespace cli {

int CScanCommand::RunRepair(const ScanArguments& arguments)
{
    CQuarantine quarantine(*m_mover, m_fileSystem, m_host);
    std::vector<ScanRow> movable;
    const int scanned = ScanForChange(arguments, arguments.repair, quarantine, movable);
    if (scanned != kExitNoneMissing)
        return scanned;
    std::size_t repairing = 0;
    for (const ScanRow& row : movable) {
        const bool broken = row.Reason() == MissingReason::Missing || row.Reason() == MissingReason::InstallerOrphaned;
        const bool repairable = (broken || row.DriveLetterGone()) && !row.candidate.empty() &&
                                row.grade >= arguments.evidence && row.equallyGood == 0;
        repairing += row.unsafe.empty() && repairable ? 1 : 0;
    }
    const std::string problem = OverMaxMoves(repairing, arguments, true);
    if (!problem.empty())
        return Refuse(problem);
    JudgeCandidates(movable);
    const int repaired = quarantine.Repair(movable, *m_retargeter, arguments.evidence);
    return Logged(arguments, repaired, quarantine.Events(), true);
}

}  // namespace cli
