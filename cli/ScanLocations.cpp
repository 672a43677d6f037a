#include "ScanLocations.h"

#include <algorithm>

#include "scan/WinPath.h"
#include "scan/PathText.h"

namespace cli {

using scan::IsWithin;
using scan::ParentOf;
using scan::PlainFullPath;

const Location kAllLocations[5] = {Location::StartMenu, Location::CommonStartMenu, Location::Desktop,
                                   Location::CommonDesktop, Location::QuickLaunch};

const char kQuickLaunchBelowAppData[] = "\\Microsoft\\Internet Explorer\\Quick Launch";

namespace {

// Variables whose value differs from user to user even when a profile's
// registry does not say it: never taken from this process's environment.
const char* const kUserVariables[] = {"APPDATA",  "LOCALAPPDATA", "HOMEDRIVE",     "HOMEPATH",    "HOMESHARE",
                                      "USERNAME", "USERDOMAIN",   "USERDNSDOMAIN", "LOGONSERVER", "TEMP",
                                      "TMP",      "ONEDRIVE",     "CLIENTNAME",    "SESSIONNAME"};

// A REG_EXPAND_SZ may name variables whose values name variables again;
// a loop between them ends here.
constexpr int kMaxDepth = 8;

std::string Below(const std::string& folder, const char* rest)
{
    return folder + "\\" + rest;
}

// The User Shell Folders value a per-user location is kept in.
const char* ShellFolderValue(Location location)
{
    return location == Location::StartMenu ? "Start Menu" : location == Location::Desktop ? "Desktop" : "AppData";
}

class CProfileExpander {
public:
    CProfileExpander(const ProfileRecord& profile, const MachineVariables& machine)
        : m_profile(profile), m_machine(machine)
    {
    }

    bool Expand(const std::string& text, std::string& out, std::string& problem, int depth) const
    {
        if (depth > kMaxDepth) {
            problem = "variables that name each other without end in \"" + text + "\"";
            return false;
        }
        out.clear();
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t open = text.find('%', at);
            const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
            if (close == std::string::npos || close == open + 1) {
                // A lone or doubled percent sign is text, as the system reads it.
                const std::size_t end = close == std::string::npos ? text.size() : close + 1;
                out.append(text, at, end - at);
                at = end;
                continue;
            }
            out.append(text, at, open - at);
            std::string value;
            if (!Variable(text.substr(open + 1, close - open - 1), value, problem, depth))
                return false;
            out += value;
            at = close + 1;
        }
        return true;
    }

private:
    bool Variable(const std::string& name, std::string& value, std::string& problem, int depth) const
    {
        const std::string key = scan::AsciiUpper(name);
        if (key == "USERPROFILE") {
            value = m_profile.folder;
            return true;
        }
        const auto own = m_profile.environment.find(key);
        if (own != m_profile.environment.end())
            return Expand(own->second, value, problem, depth + 1);
        if (key == "APPDATA" || key == "LOCALAPPDATA") {
            const bool roaming = key == "APPDATA";
            const auto shell = m_profile.shellFolders.find(roaming ? "AppData" : "Local AppData");
            if (shell != m_profile.shellFolders.end() && !shell->second.empty())
                return Expand(shell->second, value, problem, depth + 1);
            value = Below(m_profile.folder, roaming ? "AppData\\Roaming" : "AppData\\Local");
            return true;
        }
        const auto* const end = std::end(kUserVariables);
        if (std::find(std::begin(kUserVariables), end, key) != end) {
            problem = "%" + name + "% is not known for this profile";
            return false;
        }
        if (m_machine && m_machine(key, value))
            return true;
        // As the system expands: a variable that is set nowhere stays as
        // written (and names no folder that exists).
        value = "%" + name + "%";
        return true;
    }

    const ProfileRecord& m_profile;
    const MachineVariables& m_machine;
};

}  // namespace

const char* LocationName(Location location)
{
    switch (location) {
    case Location::StartMenu:
        return "start-menu";
    case Location::CommonStartMenu:
        return "common-start-menu";
    case Location::Desktop:
        return "desktop";
    case Location::CommonDesktop:
        return "common-desktop";
    case Location::QuickLaunch:
        return "quick-launch";
    }
    return "";
}

bool IsPerUser(Location location)
{
    return location != Location::CommonStartMenu && location != Location::CommonDesktop;
}

bool AddLocations(const std::string& list, std::vector<Location>& locations, std::string& badName)
{
    const auto add = [&locations](Location location) {
        if (std::find(locations.begin(), locations.end(), location) == locations.end())
            locations.push_back(location);
    };
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = list.find(',', at);
        const std::string name = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (name == "all") {
            for (Location location : kAllLocations)
                add(location);
        } else {
            const Location* const end = std::end(kAllLocations);
            const Location* known = std::find_if(std::begin(kAllLocations), end,
                                                 [&name](Location l) { return name == LocationName(l); });
            if (known == end) {
                badName = name;
                return false;
            }
            add(*known);
        }
        if (comma == std::string::npos)
            return true;
        at = comma + 1;
    }
}

bool ExpandForProfile(const std::string& text, const ProfileRecord& profile, const MachineVariables& machine,
                      std::string& expanded, std::string& problem)
{
    return CProfileExpander(profile, machine).Expand(text, expanded, problem, 0);
}

bool ProfileLocationCandidates(const ProfileRecord& profile, Location location, const MachineVariables& machine,
                               std::vector<std::string>& candidates, std::string& problem)
{
    candidates.clear();
    if (!IsPerUser(location)) {
        problem = std::string(LocationName(location)) + " is not kept per user";
        return false;
    }
    const bool quickLaunch = location == Location::QuickLaunch;
    const char* const value = ShellFolderValue(location);
    const auto stored = profile.shellFolders.find(value);
    if (RedirectedByUser(profile, location)) {
        std::string folder;
        if (!ExpandForProfile(stored->second, profile, machine, folder, problem)) {
            problem = "its " + std::string(value) + " folder \"" + stored->second + "\": " + problem;
            return false;
        }
        candidates.push_back(quickLaunch ? folder + kQuickLaunchBelowAppData : folder);
        return true;
    }
    switch (location) {
    case Location::StartMenu:
        candidates = {Below(profile.folder, "AppData\\Roaming\\Microsoft\\Windows\\Start Menu"),
                      Below(profile.folder, "Start Menu")};
        break;
    case Location::Desktop:
        candidates = {Below(profile.folder, "Desktop")};
        break;
    default:
        candidates = {Below(profile.folder, "AppData\\Roaming") + kQuickLaunchBelowAppData,
                      Below(profile.folder, "Application Data") + kQuickLaunchBelowAppData};
        break;
    }
    return true;
}

bool RedirectedByUser(const ProfileRecord& profile, Location location)
{
    const auto stored = profile.shellFolders.find(ShellFolderValue(location));
    return IsPerUser(location) && profile.hiveLoaded && stored != profile.shellFolders.end() && !stored->second.empty();
}

std::string UnsafeUserFolder(const std::string& folder, const std::vector<std::string>& forbidden)
{
    std::string plain;
    const bool drive = folder.size() >= 3 && folder[1] == ':' && folder[2] == '\\';
    const bool share = folder.size() > 2 && folder[0] == '\\' && folder[1] == '\\';
    if (!(drive || share) || !PlainFullPath(folder, plain))
        return "not an absolute path";
    if (ParentOf(plain).empty())
        return "a drive's or a share's root";
    for (const std::string& other : forbidden)
        if (!other.empty() && (IsWithin(plain, other) || IsWithin(other, plain)))
            return "it holds, or lies in, " + other;
    return std::string();
}

std::string UntrustedTarget(const std::string& candidate, const std::string& shortcut,
                            const std::vector<std::string>& machine, const std::vector<std::string>& profiles)
{
    std::string root;
    return UntrustedTarget(candidate, shortcut, machine, profiles, root);
}

std::string UntrustedTarget(const std::string& candidate, const std::string& shortcut,
                            const std::vector<std::string>& machine, const std::vector<std::string>& profiles,
                            std::string& root)
{
    root.clear();
    std::string plain;
    if (!PlainFullPath(candidate, plain))
        return "its new target is not a plain full path";
    for (const std::string& folder : machine)
        if (!folder.empty() && IsWithin(plain, folder) && plain != folder) {
            root = folder;
            return std::string();
        }
    for (const std::string& profile : profiles)
        if (!profile.empty() && IsWithin(plain, profile) && IsWithin(shortcut, profile)) {
            root = profile;
            return std::string();
        }
    return "its new target lies where other users may write";
}

}  // namespace cli
