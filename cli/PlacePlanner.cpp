#include "PlacePlanner.h"

#include <algorithm>

#include "scan/PathText.h"
#include "scan/WinPath.h"

namespace cli {

namespace {

const char kProgram[] = "veltmor-scan: ";

using scan::IsWithin;
using scan::Quoted;

// A folder's text for comparing, where its identity cannot be read: ASCII
// letters in one case, no final backslash. (A double-byte character whose
// second byte is a letter may then match another; identity comes first.)
std::string TextKey(std::string folder)
{
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return scan::AsciiLower(folder);
}

std::string OfProfile(Location location, const std::string& profile)
{
    return std::string(LocationName(location)) + " of profile " + Quoted(profile);
}

}  // namespace

CPlacePlanner::CPlacePlanner(scan::ScanFileSystem& fileSystem, ScanHost& host) : m_fileSystem(fileSystem), m_host(host)
{
}

void CPlacePlanner::PlanLocations(const ScanArguments& arguments, std::vector<ScanPlace>& places)
{
    std::vector<Location> locations = arguments.locations;
    if (locations.empty() && arguments.allProfiles)
        locations.push_back(Location::StartMenu);
    if (locations.empty())
        return;

    // The profiles are read once; one that cannot be read at all is named
    // once, not once per location.
    std::vector<std::shared_ptr<const ProfileRecord>> profiles;
    if (arguments.allProfiles) {
        for (ProfileRecord& profile : m_host.Profiles()) {
            const std::string name = profile.folder.empty() ? profile.sid : Quoted(profile.folder);
            if (profile.problem.empty() && !m_host.IsFolder(profile.folder))
                profile.problem = "its folder does not exist";
            if (!profile.folder.empty())
                m_profileFolders.push_back(profile.folder);
            if (profile.problem.empty())
                profiles.push_back(std::make_shared<const ProfileRecord>(std::move(profile)));
            else
                m_host.WriteError(kProgram + ("left out: profile " + name + " (" + profile.problem + ")"));
        }
    }

    const std::string currentProfile = m_host.CurrentProfile();
    for (Location location : locations) {
        const bool perUser = IsPerUser(location);
        const std::string folder = m_host.LocationFolder(location);
        if (folder.empty())
            m_host.WriteError(kProgram + ("left out: " + std::string(LocationName(location)) +
                                          " (the shell has no such folder here)"));
        else if (FitsPath(folder) && !m_host.IsFolder(folder))
            LeftOut(LocationName(location), folder);
        else
            AddPlace(places,
                     {folder, LocationName(location), perUser ? currentProfile : std::string(), nullptr, std::string()},
                     false);
        if (perUser)
            for (const auto& profile : profiles)
                PlanProfile(profile, location, places);
    }
}

void CPlacePlanner::PlanProfile(const std::shared_ptr<const ProfileRecord>& record, Location location,
                               std::vector<ScanPlace>& places)
{
    const ProfileRecord& profile = *record;
    std::vector<std::string> candidates;
    std::string problem;
    const MachineVariables machine = [this](const std::string& name, std::string& value) {
        return m_host.MachineVariable(name, value);
    };
    if (!ProfileLocationCandidates(profile, location, machine, candidates, problem)) {
        m_host.WriteError(kProgram + ("left out: " + OfProfile(location, profile.folder) + " (" + problem + ")"));
        return;
    }
    // A user may write anything into their own registry: a folder it names
    // is scanned only when absolute, and cleaned only where no other user's
    // or the system's files lie.
    std::string unsafe;
    if (RedirectedByUser(profile, location)) {
        unsafe = UnsafeUserFolder(candidates.front(), ForbiddenFor(profile));
        if (unsafe == "not an absolute path") {
            m_host.WriteError(kProgram + ("left out: " + OfProfile(location, profile.folder) + " (" +
                                          Quoted(candidates.front()) + " is not an absolute path)"));
            return;
        }
        if (!unsafe.empty())
            m_host.WriteError(kProgram + ("listed, never moved: " + OfProfile(location, profile.folder) + " (" +
                                          Quoted(candidates.front()) + ": " + unsafe + ")"));
    }
    for (const std::string& candidate : candidates) {
        if (!FitsPath(candidate) || m_host.IsFolder(candidate)) {
            AddPlace(places, {candidate, LocationName(location), profile.folder, record, unsafe}, false);
            return;
        }
    }
    LeftOut(OfProfile(location, profile.folder), candidates.front());
}

std::vector<std::string> CPlacePlanner::ForbiddenFor(const ProfileRecord& profile)
{
    std::vector<std::string> forbidden;
    for (const char* name : {"SystemRoot", "windir", "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432",
                             "ProgramData", "ALLUSERSPROFILE", "PUBLIC"}) {
        std::string value;
        if (m_host.MachineVariable(name, value) && !value.empty())
            forbidden.push_back(value);
    }
    // A profile kept inside another's folder (rare, but a test tree is one)
    // does not forbid its own places.
    for (const std::string& folder : m_profileFolders)
        if (!IsWithin(profile.folder, folder))
            forbidden.push_back(folder);
    return forbidden;
}

void CPlacePlanner::AddPlace(std::vector<ScanPlace>& places, const ScanPlace& place, bool given)
{
    scan::FolderId id;
    bool known = false;
    if (FitsPath(place.folder)) {
        std::string folder = place.folder;
        m_fileSystem.AddBackslash(folder);
        known = m_fileSystem.FolderIdentity(folder, id);
    }
    const std::string text = TextKey(place.folder);
    const bool seen = known ? std::find(m_plannedIds.begin(), m_plannedIds.end(), id) != m_plannedIds.end()
                            : std::find(m_plannedTexts.begin(), m_plannedTexts.end(), text) != m_plannedTexts.end();
    if (seen && !given)
        return;
    if (known)
        m_plannedIds.push_back(id);
    m_plannedTexts.push_back(text);
    places.push_back(place);
}

void CPlacePlanner::LeftOut(const std::string& what, const std::string& folder)
{
    // The current user is also one of the profiles: one line per folder.
    const std::string key = TextKey(folder);
    if (std::find(m_leftOut.begin(), m_leftOut.end(), key) != m_leftOut.end())
        return;
    m_leftOut.push_back(key);
    m_host.WriteError(kProgram + ("left out: " + what + " (no such folder: " + Quoted(folder) + ")"));
}

bool CPlacePlanner::FitsPath(const std::string& folder)
{
    return m_fileSystem.Fits(scan::EndsWithBackslash(folder.c_str(), m_fileSystem) ? folder : folder + '\\');
}

std::string CPlacePlanner::CheckFolder(const std::string& folder)
{
    // The scan would walk nothing rather than cut the path: say so instead.
    if (!FitsPath(folder))
        return "folder path too long (" + std::to_string(folder.size()) + " bytes): " + Quoted(folder);
    if (!m_host.IsFolder(folder))
        return "no such folder: " + Quoted(folder);
    return std::string();
}

}  // namespace cli
