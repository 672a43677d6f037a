// One scanned shortcut, from the walk to every output and action: the scan's
// view collects it, every format writes it, the quarantine and the repair
// act on it. Text is UTF-8: a row of the dialog's results list plus the drive
// type of its target's root, where it was found, and what follows from these.
#ifndef VELTMOR_CLI_SCANROW_H
#define VELTMOR_CLI_SCANROW_H

#include <memory>
#include <string>

#include "ScanLocations.h"
#include "cli/RowKinds.h"
#include "scan/ScanPlatform.h"

namespace cli {

struct ScanRow {
    std::string shortcut;  // the dialog's column 0
    std::string target;    // column 1, possibly empty
    bool present = false;  // the dialog's image: check mark or cross
    bool unverified = false;  // listed as present by the dialog; see detail
    std::string detail;    // the system's words for why it is unverified
    unsigned driveType = 0;  // GetDriveTypeA of the target's root, as the filter asks it
    // What the shortcut recorded of the target's volume: its drive type
    // (kDriveRemote for a share; kDriveUnknown: none) and the target's path
    // on the share (empty: none).
    unsigned recordedDrive = kDriveUnknown;
    std::string networkPath;
    // Why the target is empty: Unreadable, NoFileTarget or InstallerManaged.
    MissingReason emptyTarget = MissingReason::Unreadable;
    ShortcutKind kind = ShortcutKind::Lnk;  // by the shortcut's extension
    std::string location;  // a location's name, or "folder" for one given
    std::string profile;   // the profile folder; empty for all users and given folders
    // For the quarantine: the scanned folder it was found below, why it may
    // never move (empty: it may), and the other profile whose variables its
    // target was read with (null: none).
    std::string root;
    std::string unsafe;
    std::string digest;  // of the shortcut file as the scan read it; empty: not noted
    std::string bytes;   // the file's bytes the scan checked; empty: not kept
    std::shared_ptr<const ProfileRecord> otherProfile;
    // --suggest: where the target may have gone, how well the shortcut's
    // own record of it agrees, and how many other candidates agree as well.
    std::string candidate;
    Grade grade = Grade::None;
    std::string evidence;
    std::size_t equallyGood = 0;
    // --repair: why the candidate may not become the target (who may write
    // where it lies); empty: it may. Judged only for a repair.
    std::string candidateUnsafe;

    // What the fields above say of the target; every output and action asks
    // this, none keeps a copy that could come to disagree with them.
    MissingReason Reason() const;
    // True only for a target proven missing on a drive letter that does not
    // exist now (no-root) whose shortcut recorded neither a share nor a
    // removable medium and holds no network path: a mapped drive, a USB disk
    // or a disc may only be away, and the shortcut works for its user.
    bool DriveLetterGone() const;

    // Missing and listed, and not a .url to something that is no file.
    bool CountsAsBroken() const { return !present && !unverified && Reason() != MissingReason::NotAFile; }
    const char* KindName() const { return cli::KindName(kind); }

    const char* StatusName() const { return present ? "present" : unverified ? "unverified" : "missing"; }
    const char* DriveTypeName() const;
    // "" for a present target.
    const char* ReasonName() const;
};

// What the walk passed over: named on standard error, counted in the text
// format, rows of their own in csv and json.
struct NotScannedPath {
    std::string path;
    scan::NotScannedReason reason;

    // "path-too-long", "cannot-open", "name-not-exact"
    const char* ReasonName() const;
    // The words of standard error's line.
    const char* Words() const;
};

}  // namespace cli

#endif
