// What a shortcut remembers of its target, beyond the path: the header's
// size, times and attributes, the volume it lay on, the machine that saved
// it, the stored environment and known-folder forms of the path. A missing
// target's candidates are graded against it (Suggest.h). Portable: read
// through a byte source, only from a file that passes the structure check,
// every field bounds-checked again where it is read.
#ifndef VELTMOR_CLI_SUGGEST_LINKEVIDENCE_H
#define VELTMOR_CLI_SUGGEST_LINKEVIDENCE_H

#include <cstdint>
#include <string>

#include "cli/RowKinds.h"
#include "scan/LinkStructure.h"

namespace cli {

struct LinkEvidence {
    // Header: the target as it was when the shortcut was saved.
    std::uint32_t fileSize = 0;       // low 32 bits of its size; 0: not stored
    std::uint64_t writeTime = 0;      // FILETIME ticks (UTC); 0: not stored
    std::uint64_t creationTime = 0;
    std::uint32_t fileAttributes = 0;

    // The link info's volume record, when the target was local.
    bool hasVolume = false;
    std::uint32_t driveType = kDriveUnknown;
    std::uint32_t volumeSerial = 0;
    std::string volumeLabel;  // narrow label as stored (code page unknown); a wide one in UTF-8

    // The link tracker's block.
    bool hasTracker = false;
    std::string machineName;   // NetBIOS name, ASCII (anything else shown as '?')
    bool hasObjectIds = false;  // the volume and object identifiers are not all zero

    std::string environmentTarget;  // "%ProgramFiles%\\..." in UTF-8; empty: none
    bool hasKnownFolder = false;
    std::string knownFolderId;  // "{905E63B6-C1BF-494E-B29C-65B732D3D21A}"
};

// What a shortcut's link info recorded of its target's volume, read for
// every shortcut the scanner reads (the link info alone, nothing else).
struct RecordedVolume {
    std::uint32_t driveType = kDriveUnknown;  // the volume record's; kDriveRemote for a share
    std::string netName;     // "\\server\share"; UTF-8 when stored wide, else only when ASCII
    std::string deviceName;  // "Z:", the drive the share was mapped to; empty: none
};

// False (volume left empty) when the file fails the structure check or
// records no volume and no share.
bool ReadRecordedVolume(scan::ByteSource& source, RecordedVolume& volume);

// The target's path on its share: the share's name, then what follows the
// mapped drive in target ("Z:\dir\app.exe" on "\\srv\share" mapped to Z:
// is "\\srv\share\dir\app.exe"). Empty when no share was recorded or the
// target does not lie on its drive.
std::string SharePath(const RecordedVolume& volume, const std::string& target);

// Fills evidence from a shortcut file. False (evidence left empty) when the
// file fails scan::CheckLinkStructure or cannot be read.
bool ReadLinkEvidence(scan::ByteSource& source, LinkEvidence& evidence);

// UTF-16 code units as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(const std::u16string& text);

}  // namespace cli

#endif
