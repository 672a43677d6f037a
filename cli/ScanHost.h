// What the scanner needs from the system besides the scan itself: where the
// shell keeps each location, the profiles the registry lists, whether a
// folder exists, why a shortcut gave no target, code pages, the clock and
// the two streams. All text is UTF-8. Kept free of <windows.h> so that the
// command is tested on any system.
#ifndef VELTMOR_CLI_SCANHOST_H
#define VELTMOR_CLI_SCANHOST_H

#include <cstdint>
#include <string>
#include <vector>

#include "ScanLocations.h"
#include "ScanRow.h"

namespace cli {

class ScanHost {
public:
    // How text leaves on a pipe or a file: in the system code page (text
    // and the help, as a console program's output always was) or as UTF-8.
    // On a console every character shows either way.
    enum class Encoding { CodePage, Utf8 };

    virtual ~ScanHost() = default;

    // The current user's (or, for the common ones, all users') folder of a
    // location as the shell gives it; empty when the shell has none.
    virtual std::string LocationFolder(Location location) = 0;

    // The current user's profile folder; empty when the shell cannot say.
    virtual std::string CurrentProfile() = 0;

    // Every local profile the registry lists, in its order.
    virtual std::vector<ProfileRecord> Profiles() = 0;

    // A variable that is the same for every user (SystemRoot, ProgramData).
    virtual bool MachineVariable(const std::string& name, std::string& value) = 0;

    // The dialog's test of its scan-from path.
    virtual bool IsFolder(const std::string& path) = 0;

    // Reads a shortcut that gave no target again: Unreadable, NoFileTarget
    // or InstallerManaged.
    virtual MissingReason WhyNoTarget(const std::string& shortcut) = 0;

    // True for a 32-bit program on 64-bit Windows.
    virtual bool RunsUnderWow64() = 0;

    // Where and when a scan ran, for the report format: the computer's
    // name, the account this program runs as (DOMAIN\user), and the time
    // now in UTC as 2026-12-07T21:05:11Z. Empty when the system cannot say.
    virtual std::string MachineName() = 0;
    virtual std::string UserName() = 0;
    virtual std::string UtcTime() = 0;

    // The shortcuts of the scans that follow were found in profile (null:
    // the caller's own, or all users'). A target stored with environment
    // variables is then expanded with that profile's values, not the
    // caller's; one that cannot be is unverified.
    virtual void ReadTargetsFor(const ProfileRecord* profile) = 0;

    // All of text to standard output; false when it could not be written.
    virtual bool WriteOutput(const std::string& text, Encoding encoding) = 0;

    // text into the file path, whole: a reader of path sees the old file or
    // the new one, never a part. False, with the system's words, when not.
    virtual bool WriteOutputFile(const std::string& path, const std::string& text, std::string& problem) = 0;

    // One line (no line end) to standard error, in the code page on a pipe.
    virtual void WriteError(const std::string& line) = 0;

    // Progress: only where standard error is a console, never on a pipe or
    // a file. ShowProgress rewrites one line in place; "" clears it.
    virtual bool ProgressWanted() = 0;
    virtual std::uint64_t Milliseconds() = 0;
    virtual void ShowProgress(const std::string& line) = 0;
};

}  // namespace cli

#endif
