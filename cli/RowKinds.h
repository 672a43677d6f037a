// The small enums a row carries, apart from the row so that the file store
// and the quarantine can name them without the suggestion search.
#ifndef VELTMOR_CLI_ROWKINDS_H
#define VELTMOR_CLI_ROWKINDS_H

#include <cstdint>
#include <string>

namespace cli {

// The drive types a volume record stores (the platform's DRIVE_* values).
enum StoredDriveType : std::uint32_t {
    kDriveUnknown = 0,
    kDriveNoRoot = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// What a scan calls each file it reads, from its name's extension.
enum class ShortcutKind { Lnk, Pif, Url, AppRef };
ShortcutKind ShortcutKindOfName(const std::string& name);  // Lnk for any other name
const char* KindName(ShortcutKind kind);           // "lnk", "pif", "url", "appref-ms"

enum class MissingReason {
    None,              // the target is present
    Missing,           // on a fixed drive, and absent
    UnreachableDrive,  // the root is not a fixed drive: it may only be away now
    // The shortcut gave no target, and reading it again says why:
    Unreadable,        // not a shortcut the shell can load
    NoFileTarget,      // a shell item with no file-system path (not broken)
    InstallerManaged,  // an advertised installer shortcut (not broken)
    InstallerOrphaned, // an advertised shortcut whose product the installer does not know: broken
    NotAFile,          // a .url to another scheme than file: (not broken)
    Unverified,        // the presence test failed without saying "not there" (not broken)
};
// The name rows, manifests and logs give it ("" for None).
const char* ReasonName(MissingReason reason);

// How well a candidate agrees with the shortcut's own record of its target.
enum class Grade { None, NameOnly, Likely, Exact };
const char* GradeName(Grade grade);  // "", "name-only", "likely", "exact"

}  // namespace cli

#endif
