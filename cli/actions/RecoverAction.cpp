// --recover DIR: what a snapshot holds and the machine lost comes back, to
// this machine's own locations or the folders given; no scan.
#include "cli/ScanCommand.h"

namespace cli {

int CScanCommand::RunRecover(const ScanArguments& arguments)
{
    const std::string untrusted = UntrustedKeepFolder(arguments.recover);
    if (!untrusted.empty())
        return Refuse(untrusted);
    std::vector<ScanPlace> places;
    for (const std::string& folder : arguments.folders) {
        const std::string problem = m_places.CheckFolder(folder);
        if (!problem.empty())
            return Refuse(problem);
        m_places.AddPlace(places, {folder, kGivenFolder, std::string(), nullptr, std::string()}, true);
    }
    // Whatever a snapshot was taken of, it is one of these now or refused.
    ScanArguments every = arguments;
    std::string bad;
    AddLocations("all", every.locations, bad);
    every.allProfiles = true;
    m_places.PlanLocations(every, places);

    CSnapshot snapshot(*m_mover, m_fileSystem, m_host, m_times);
    std::string problem = snapshot.OpenForRecover(arguments.recover, arguments.asOf, arguments.dryRun);
    if (!problem.empty())
        return Refuse(problem);
    std::vector<RecoverPlace> allowed;
    for (const ScanPlace& place : places)
        allowed.push_back({place.folder, place.unsafe});
    const int status = snapshot.Recover(allowed, arguments.maxMoves, problem);
    if (!problem.empty())
        return Refuse(problem);
    return Logged(arguments, status, snapshot.Events(), true);
}

}  // namespace cli
