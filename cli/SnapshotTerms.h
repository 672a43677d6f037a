// What a snapshot hands the rows' formats and the arguments: the vanish
// alarm's record and the UTC times lists are named by.
#ifndef VELTMOR_CLI_SNAPSHOTTERMS_H
#define VELTMOR_CLI_SNAPSHOTTERMS_H

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

// The alarm's shortcuts: gone since the previous snapshot, their targets
// still there (not an uninstall: there the target went too).
constexpr std::size_t kMostVanishedListed = 1000;
struct VanishedShortcut {
    std::string shortcut, target, lastSeen, location, profile;
};
struct VanishReport {
    bool taken = false;   // a snapshot was taken
    std::size_t count = 0;
    std::string since;    // the previous snapshot's time; "" when there was none
    std::vector<VanishedShortcut> items;  // the first kMostVanishedListed
};

// True when time has the form "2026-12-08T09:00:00Z".
bool IsUtcTime(const std::string& time);

// --as-of: "2026-12-08T09:00:00Z", "2026-12-08T09:00Z" or "2026-12-08" (that
// day's start) as a full UTC time; false otherwise.
bool ParseAsOf(const std::string& text, std::string& time);

}  // namespace cli

#endif
