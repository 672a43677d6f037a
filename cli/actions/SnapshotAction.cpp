// --snapshot DIR: a scan that also keeps every shortcut's bytes and a list
// of them in DIR, and raises the alarm for those gone since the last one.
#include "cli/ScanCommand.h"

namespace cli {

int CScanCommand::RunSnapshot(const ScanArguments& arguments)
{
    std::vector<ScanPlace> places;
    std::string problem = PlanPlaces(arguments, places);
    if (problem.empty())
        problem = KeepFolderProblem(arguments.snapshot, "snapshot", places);
    if (!problem.empty())
        return Refuse(problem);
    // The folder is checked, locked and its latest list read before the scan.
    CSnapshot snapshot(*m_mover, m_fileSystem, m_host, m_times);
    problem = snapshot.OpenForSnapshot(arguments.snapshot);
    if (!problem.empty())
        return Refuse(problem);

    // A snapshot keeps every shortcut, working or not: the scan lists all,
    // and the rows written are those the options ask for.
    ScanResult result = Scan(places, false, true);
    std::vector<SnapshotPlace> kept;
    for (const ScanPlace& place : places)
        kept.push_back({place.folder, place.location, place.profile});
    problem = snapshot.Take(result.rows, kept, arguments.keep, m_vanished);
    if (!problem.empty())
        return Refuse(problem);
    KeepListed(result.rows, arguments.ignoreRemovable, arguments.displayAll);
    const int written = WriteFound(result, arguments);
    return written != kExitNoneMissing ? written : ListedStatus(arguments, result.rows);
}

}  // namespace cli
