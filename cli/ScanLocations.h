// The places where the shortcuts users see live, by name, and where each one
// lies in a profile other than the current user's. Portable: the registry's
// answers come in as text and are worked out here.
#ifndef VELTMOR_CLI_SCANLOCATIONS_H
#define VELTMOR_CLI_SCANLOCATIONS_H

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace cli {

enum class Location { StartMenu, CommonStartMenu, Desktop, CommonDesktop, QuickLaunch };

// Quick Launch has no folder value of its own: it lies below AppData.
extern const char kQuickLaunchBelowAppData[];

// Every location, in the order "all" scans them.
extern const Location kAllLocations[5];

const char* LocationName(Location location);
// True for a location every user has one of; false for the all-users ones.
bool IsPerUser(Location location);

// Adds the names of "a,b,..." to locations, each once, in the order named;
// "all" stands for every location. False, with the name, for an unknown
// or empty one.
bool AddLocations(const std::string& list, std::vector<Location>& locations, std::string& badName);

// One profile as the registry lists it. Texts are as stored: the values of
// User Shell Folders still hold their %VARIABLES%.
struct ProfileRecord {
    std::string sid;
    std::string folder;       // ProfileImagePath, machine variables expanded
    bool hiveLoaded = false;  // HKEY_USERS\<sid> is there to read
    std::map<std::string, std::string> shellFolders;  // value name -> text
    std::map<std::string, std::string> environment;   // the user's own variables, upper-case names
    std::string problem;      // why the registry could not be read, if it could not
};

// A machine-wide variable's value; false when there is none.
using MachineVariables = std::function<bool(const std::string& name, std::string& value)>;

// Expands %NAME% in text for the profile: USERPROFILE is the profile's
// folder, the user's own variables and shell folders come from its
// registry, and only variables that are the same for every user come from
// machine. A variable that belongs to a user but is not known for this one
// makes it fail (problem says which): expanding it with the current user's
// value would scan someone else's folder. One set nowhere stays as written,
// as the system leaves it.
bool ExpandForProfile(const std::string& text, const ProfileRecord& profile, const MachineVariables& machine,
                      std::string& expanded, std::string& problem);

// Where a per-user location may lie in the profile, best first: the
// redirected folder its loaded registry names, or else the standard places
// below the profile (Vista and later, then Windows XP). The caller takes
// the first that exists. False, with the problem, when the registry's text
// cannot be expanded for this profile.
bool ProfileLocationCandidates(const ProfileRecord& profile, Location location, const MachineVariables& machine,
                               std::vector<std::string>& candidates, std::string& problem);

// True when the profile's own loaded registry names the location's folder
// (a redirection the user may have written).
bool RedirectedByUser(const ProfileRecord& profile, Location location);

// Why a folder that a user's own registry names for one of that user's
// locations may not be cleaned by a run of another account (an
// administrator's, the system's): a user may name any folder there. Empty
// when it may. It must be absolute, without "." or ".." parts, and neither a
// drive's or a share's root nor inside a folder of forbidden (the Windows
// and program-files folders, the other profiles' folders).
std::string UnsafeUserFolder(const std::string& folder, const std::vector<std::string>& forbidden);

// Why a repair may not point the shortcut at candidate: anyone who may write
// the new target decides what the shortcut runs, so it must lie below one of
// machine (the Windows and program-files folders, which only administrators
// write) or below the profile folder, of profiles, that the shortcut itself
// lies in. Empty when it may.
std::string UntrustedTarget(const std::string& candidate, const std::string& shortcut,
                            const std::vector<std::string>& machine, const std::vector<std::string>& profiles);
// The same, and the folder of machine or profiles it lies below: each
// folder from there down must then be one only administrators (and, in a
// profile, its user) may write.
std::string UntrustedTarget(const std::string& candidate, const std::string& shortcut,
                            const std::vector<std::string>& machine, const std::vector<std::string>& profiles,
                            std::string& root);

}  // namespace cli

#endif
