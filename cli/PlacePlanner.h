// Which folders a scan walks: the folders given, the locations asked for in
// the current profile and, with --all-profiles, in every profile the machine
// lists, each folder once (by identity where the system can tell), a
// user-redirected one listed but never moved where it reaches into what is
// not the user's own. What is left out is named once on standard error.
#ifndef VELTMOR_CLI_PLACEPLANNER_H
#define VELTMOR_CLI_PLACEPLANNER_H

#include <memory>
#include <string>
#include <vector>

#include "ScanArguments.h"
#include "ScanHost.h"
#include "ScanLocations.h"
#include "scan/ScanPlatform.h"

namespace cli {

// The location a folder given on the command line is listed as.
constexpr char kGivenFolder[] = "folder";

// One folder to scan and what its rows say of where they were found.
struct ScanPlace {
    std::string folder;
    std::string location;  // a location's name, or "folder"
    std::string profile;   // empty for all users and given folders
    // Another user's profile, whose variables its targets are expanded with;
    // null for the caller's own places and the all-users ones.
    std::shared_ptr<const ProfileRecord> otherProfile;
    // Why its shortcuts are listed but never moved (a folder another user's
    // registry names where no clean-up may reach); empty: they may move.
    std::string unsafe;
};

class CPlacePlanner {
public:
    CPlacePlanner(scan::ScanFileSystem& fileSystem, ScanHost& host);

    CPlacePlanner(const CPlacePlanner&) = delete;
    CPlacePlanner& operator=(const CPlacePlanner&) = delete;

    // Empty when the folder can be scanned; otherwise the problem.
    std::string CheckFolder(const std::string& folder);
    // Adds the folder unless it was planned already (by identity, so that
    // two paths to one folder count once). given: a folder of the command
    // line, added whatever came before, as always.
    void AddPlace(std::vector<ScanPlace>& places, const ScanPlace& place, bool given);
    // The folders of the locations, each once, after those already in
    // places; a location that is not there is named on standard error.
    void PlanLocations(const ScanArguments& arguments, std::vector<ScanPlace>& places);

private:
    void PlanProfile(const std::shared_ptr<const ProfileRecord>& profile, Location location,
                     std::vector<ScanPlace>& places);
    // The folders no user's redirection may reach into: the Windows and
    // program-files folders, all users' data, and every profile but this one.
    std::vector<std::string> ForbiddenFor(const ProfileRecord& profile);
    void LeftOut(const std::string& what, const std::string& folder);
    bool FitsPath(const std::string& folder);

    scan::ScanFileSystem& m_fileSystem;
    ScanHost& m_host;
    // What planning has seen: folders by identity or, where the system
    // cannot say, by text; folders already named as left out.
    std::vector<scan::FolderId> m_plannedIds;
    std::vector<std::string> m_plannedTexts;
    std::vector<std::string> m_leftOut;
    std::vector<std::string> m_profileFolders;  // of every profile read
};

}  // namespace cli

#endif
