#include "ProgramFolder.h"

#include <algorithm>

#include "WinPath.h"

namespace scan {

namespace {

// A name of a folder's pattern against one of a path's; Windows names
// cannot hold '*', so it is free to stand for any name.
bool NameMatches(const std::string& pattern, const std::string& name)
{
    return pattern == "*" ? !name.empty() : SameAsciiText(pattern, name);
}

}  // namespace

bool IsProgramFilesName(const std::string& name)
{
    return SameAsciiText(name, "Program Files") || SameAsciiText(name, "Program Files (x86)");
}

const std::vector<ProgramsFolder>& StandardProgramsFolders()
{
    static const std::vector<ProgramsFolder> folders{
        {"", {"Program Files"}, true},
        {"", {"Program Files (x86)"}, true},
        {"", {"Users", "*", "AppData", "Local", "Programs"}, false},
    };
    return folders;
}

ProgramPlace LocateProgram(const std::string& root, const std::vector<std::string>& names,
                           const std::vector<ProgramsFolder>& folders)
{
    ProgramPlace place;
    for (const ProgramsFolder& folder : folders) {
        const std::size_t depth = folder.names.size();
        if (depth == 0 || (!folder.root.empty() && !SameAsciiText(folder.root, root)) || names.size() < depth + 2 ||
            !std::equal(folder.names.begin(), folder.names.end(), names.begin(), NameMatches))
            continue;
        place.program = depth;
        place.within = &folder;
        return place;
    }
    if (names.size() >= 2)
        place.program = names.size() - 2;
    return place;
}

}  // namespace scan
