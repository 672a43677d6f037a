#include "ScanRow.h"
#include "scan/PathText.h"


namespace cli {

MissingReason ScanRow::Reason() const
{
    if (present)
        return MissingReason::None;
    if (unverified)
        return MissingReason::Unverified;
    // An empty target is missing whatever its root says; say why instead.
    if (target.empty())
        return emptyTarget;
    return driveType == scan::kDriveFixed ? MissingReason::Missing : MissingReason::UnreachableDrive;
}

bool ScanRow::DriveLetterGone() const
{
    if (Reason() != MissingReason::UnreachableDrive || driveType != kDriveNoRoot)
        return false;
    if (!networkPath.empty() || target.compare(0, 2, "\\\\") == 0)
        return false;
    return recordedDrive != kDriveRemote && recordedDrive != kDriveRemovable && recordedDrive != kDriveCdRom;
}

const char* ScanRow::DriveTypeName() const
{
    // GetDriveTypeA's DRIVE_UNKNOWN (0) to DRIVE_RAMDISK (6).
    static const char* const kNames[] = {"unknown", "no-root", "removable", "fixed",
                                         "network", "cd-rom",  "ram-disk"};
    return driveType < sizeof kNames / sizeof kNames[0] ? kNames[driveType] : "unknown";
}

const char* ScanRow::ReasonName() const
{
    return cli::ReasonName(Reason());
}

const char* ReasonName(MissingReason reason)
{
    switch (reason) {
    case MissingReason::None:
        return "";
    case MissingReason::Missing:
        return "missing";
    case MissingReason::UnreachableDrive:
        return "unreachable-drive";
    case MissingReason::Unreadable:
        return "unreadable";
    case MissingReason::NoFileTarget:
        return "no-file-target";
    case MissingReason::InstallerManaged:
        return "installer-managed";
    case MissingReason::InstallerOrphaned:
        return "installer-orphaned";
    case MissingReason::NotAFile:
        return "not-a-file";
    case MissingReason::Unverified:
        return "unverified";
    }
    return "";
}

const char* NotScannedPath::ReasonName() const
{
    switch (reason) {
    case scan::NotScannedReason::PathTooLong:
        return "path-too-long";
    case scan::NotScannedReason::CannotOpen:
        return "cannot-open";
    case scan::NotScannedReason::NameNotExact:
        return "name-not-exact";
    }
    return "";
}

const char* NotScannedPath::Words() const
{
    switch (reason) {
    case scan::NotScannedReason::PathTooLong:
        return "path too long";
    case scan::NotScannedReason::CannotOpen:
        return "cannot open folder";
    case scan::NotScannedReason::NameNotExact:
        return "its name cannot be read exactly";
    }
    return "";
}

namespace {

bool EndsWithText(const std::string& name, const std::string& tail)
{
    return name.size() > tail.size() && scan::AsciiLower(name.substr(name.size() - tail.size())) == tail;
}

}  // namespace

ShortcutKind ShortcutKindOfName(const std::string& name)
{
    if (EndsWithText(name, ".url"))
        return ShortcutKind::Url;
    if (EndsWithText(name, ".appref-ms"))
        return ShortcutKind::AppRef;
    if (EndsWithText(name, ".pif"))
        return ShortcutKind::Pif;
    return ShortcutKind::Lnk;
}

const char* KindName(ShortcutKind kind)
{
    switch (kind) {
    case ShortcutKind::Lnk:
        return "lnk";
    case ShortcutKind::Pif:
        return "pif";
    case ShortcutKind::Url:
        return "url";
    case ShortcutKind::AppRef:
        return "appref-ms";
    }
    return "lnk";
}

}  // namespace cli
