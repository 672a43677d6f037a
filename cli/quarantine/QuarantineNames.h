// What the quarantine's files share: the names in its folder and a few
// texts. Private to cli/quarantine.
#ifndef VELTMOR_CLI_QUARANTINE_QUARANTINENAMES_H
#define VELTMOR_CLI_QUARANTINE_QUARANTINENAMES_H

#include <cstddef>
#include <string>

#include "scan/PathText.h"
#include "scan/WinPath.h"

namespace cli {
namespace quarantine {

using scan::Quoted;

constexpr char kProgram[] = "veltmor-scan: ";
constexpr char kManifestName[] = "manifest.json";
constexpr char kJournalName[] = "journal.jsonl";
constexpr char kLockName[] = "quarantine.lock";
// Far beyond any shortcut; a file larger is not one of ours.
constexpr std::size_t kLargestShortcut = std::size_t{64} << 20;

inline bool IsShortcutName(const std::string& path)
{
    if (path.size() < 5)
        return false;
    const std::string end = scan::AsciiLower(path.substr(path.size() - 4));
    return end == ".lnk" || end == ".pif" || end == ".url" ||
           (path.size() > 10 && scan::AsciiLower(path.substr(path.size() - 10)) == ".appref-ms");
}

// "C:\\" or "\\\\server\\share" of a plain full path.
inline std::string RootOf(const std::string& path)
{
    if (path.size() >= 3 && path[1] == ':')
        return path.substr(0, 3);
    const std::size_t server = path.find('\\', 2);
    const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    return share == std::string::npos ? path : path.substr(0, share);
}

inline std::string Count(std::size_t n, const char* what)
{
    return std::to_string(n) + " " + what;
}

}  // namespace quarantine
}  // namespace cli

#endif
