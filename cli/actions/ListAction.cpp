// A scan and its rows, nothing changed: the command's first use.
#include "cli/ScanCommand.h"

namespace cli {

int CScanCommand::RunList(const ScanArguments& arguments)
{
    std::vector<ScanPlace> places;
    const std::string problem = PlanPlaces(arguments, places);
    if (!problem.empty())
        return Refuse(problem);
    ScanResult result = Scan(places, arguments.ignoreRemovable, arguments.displayAll);
    const int written = WriteFound(result, arguments);
    return written != kExitNoneMissing ? written : ListedStatus(arguments, result.rows);
}

}  // namespace cli
