// The program folder of a path: the folder a program was installed into,
// directly below a folder that holds programs (Program Files, a user's
// AppData\Local\Programs, the machine's own program files folders). The
// fleet page groups broken targets by it; the search for a moved target
// looks in its other versions and its twin in the other program files
// folder.
#ifndef VELTMOR_SCAN_PROGRAMFOLDER_H
#define VELTMOR_SCAN_PROGRAMFOLDER_H

#include <string>
#include <vector>

namespace scan {

// A folder that holds programs, each in a folder of its own (never a root).
struct ProgramsFolder {
    std::string root;                // "C:", "\\server\share"; empty: below any root
    std::vector<std::string> names;  // below the root; "*" stands for any one name
    bool programFiles = true;        // false for a user's AppData\Local\Programs
};

// "Program Files" or "Program Files (x86)", ASCII case ignored.
bool IsProgramFilesName(const std::string& name);

// Program Files, Program Files (x86) and Users\*\AppData\Local\Programs,
// below any root.
const std::vector<ProgramsFolder>& StandardProgramsFolders();

struct ProgramPlace {
    std::size_t program = std::string::npos;  // into the path's names; npos: none
    const ProgramsFolder* within = nullptr;   // null: the path's own folder was taken
};

// Where the program folder lies among a full path's names (root and names
// as SplitFullPath gives them): the name directly below the first of
// folders that holds the path with a name below that one (names compared
// without regard to ASCII case); otherwise the path's own folder, the last
// name but one; none for a path of one name.
ProgramPlace LocateProgram(const std::string& root, const std::vector<std::string>& names,
                           const std::vector<ProgramsFolder>& folders);

}  // namespace scan

#endif
