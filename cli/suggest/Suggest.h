// A new target, with its evidence, for a shortcut whose target is missing:
// most such programs were moved, not removed (reinstalled on another drive,
// Program Files (x86) to Program Files, "App 4.1" replaced by "App 4.2", a
// drive letter changed). Portable: the machine is asked through
// SuggestSource, which the Windows side implements.
//
//   Suggestion Suggest(target, shortcutBytes, evidence, source)
//
// looks for the target's file name (ASCII case ignored) in a bounded set of
// places, in this order:
//   1. App Paths registrations of that file name;
//   2. uninstall entries whose display name, install folder or icon folder
//      names the old program folder, version numbers ignored: their folder
//      plus the target's path below the old program folder;
//   3. the other program files folders (Program Files <-> Program Files (x86));
//   4. the same path on every other fixed drive;
//   5. version-numbered siblings of the old program folder ("App 4.1" ->
//      "App 4.2", "Tool-v2" -> "Tool-v3", "App" -> "App 5"), newest first,
//      beside it and in the folders of 3 and 4;
//   6. the shell's own resolution of the shortcut.
// The old program folder is the one directly below a program files folder or
// below X:\Users\<name>\AppData\Local\Programs, else the target's parent.
// No drive is ever walked: at most kMostCandidates paths are asked about (the
// last slot kept for the shell's answer), at most kMostSiblingFolders folders
// are listed, each for at most kMostSubFolders names, and only on fixed
// drives (a share or a disc may take long to answer).
//
// Each file found is graded by what it shares with what the shortcut stored
// (LinkEvidence): Exact when name, size and write time agree (a FAT time
// within its 2-second step), whatever the volume, which the evidence then
// names; Likely for name and size, or the name in another version's folder;
// NameOnly for the name alone. The best grade wins, the first found on a
// tie, and equallyGood counts the others of that grade: a proposal with
// equals is never repaired. A folder, or the target itself, is never proposed.
#ifndef VELTMOR_CLI_SUGGEST_SUGGEST_H
#define VELTMOR_CLI_SUGGEST_SUGGEST_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "LinkEvidence.h"
#include "cli/RowKinds.h"

namespace cli {

constexpr std::size_t kMostCandidates = 64;
constexpr std::size_t kMostSubFolders = 256;
constexpr std::size_t kMostSiblingFolders = 8;

struct FileFacts {
    bool exists = false, folder = false;
    std::uint64_t size = 0, writeTime = 0, creationTime = 0;  // times: FILETIME ticks, UTC
    std::uint32_t attributes = 0;
    bool hasSerial = false;
    std::uint32_t volumeSerial = 0;
};

struct InstalledProgram {  // an uninstall entry
    std::string displayName, installLocation, displayIcon;
};

// The machine as the search sees it. Paths are UTF-8 in Windows form (C:\...).
class SuggestSource {
public:
    virtual ~SuggestSource() = default;
    // false: not there, or cannot say.
    virtual bool Facts(const std::string& path, FileFacts& facts) = 0;
    // "C:\\", "D:\\" ...
    virtual std::vector<std::string> FixedDrives() = 0;
    // Names only, at most limit of them.
    virtual std::vector<std::string> SubFolders(const std::string& folder, std::size_t limit) = 0;
    // C:\Program Files, C:\Program Files (x86) ...
    virtual std::vector<std::string> ProgramFilesFolders() = 0;
    // App Paths registrations of that file name (full paths).
    virtual std::vector<std::string> RegisteredPaths(const std::string& fileName) = 0;
    // Read once per run by the source (it caches them).
    virtual std::vector<InstalledProgram> InstalledPrograms() = 0;
    // The shell's own resolution of the shortcut whose checked bytes are
    // given (never the file read again): no UI, no search, no update; false
    // when unavailable.
    virtual bool ShellResolve(const std::string& bytes, std::string& target) = 0;
};


struct Suggestion {
    std::string candidate;  // empty: none found
    Grade grade = Grade::None;
    std::string evidence;   // one line of English: what matched, what did not
    std::size_t equallyGood = 0;  // other candidates of the same grade
    std::size_t tested = 0;       // paths asked about
};

// shortcutBytes: the shortcut file as the scan checked it.
Suggestion Suggest(const std::string& target, const std::string& shortcutBytes, const LinkEvidence& evidence,
                   SuggestSource& source);

// A folder's name with its version numbers taken out (digits and dots, a
// v before them, the spaces, dashes and underscores around them), ASCII in
// lower case: "App 4.1" and "app-v5" both give "app". Two folders are
// versions of one program when these agree and are not empty.
std::string VersionlessName(const std::string& folderName);

// A FILETIME as "2026-11-02 10:04:11 UTC".
std::string FileTimeText(std::uint64_t ticks);

}  // namespace cli

#endif
