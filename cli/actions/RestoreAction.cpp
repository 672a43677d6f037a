// --restore DIR: what the quarantine and the repair kept goes back; no scan.
#include "cli/ScanCommand.h"

namespace cli {

int CScanCommand::RunRestore(const ScanArguments& arguments)
{
    std::string problem = UntrustedKeepFolder(arguments.restore);
    if (!problem.empty())
        return Refuse(problem);
    CQuarantine restore(*m_mover, m_fileSystem, m_host);
    problem = restore.Open(arguments.restore, CQuarantine::Purpose::Restore, arguments.dryRun);
    if (!problem.empty())
        return Refuse(problem);
    const int restored = restore.Restore();
    return Logged(arguments, restored, restore.Events(), true);
}

}  // namespace cli
