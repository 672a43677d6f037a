// What a shortcut remembers of its target, beyond the path, that grading
// uses: the header's size and write time, the volume it lay on, and whether
// it stores an environment or known-folder form of the path. A missing
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
    // What grading compares a candidate with. Header: the target as it was
    // when the shortcut was saved.
    std::uint32_t fileSize = 0;       // low 32 bits of its size; 0: not stored
    std::uint64_t writeTime = 0;      // FILETIME ticks (UTC); 0: not stored

    // The link info's volume record, when the target was local: named in
    // the evidence line when a candidate lies on another volume.
    bool hasVolume = false;
    std::uint32_t driveType = kDriveUnknown;
    std::uint32_t volumeSerial = 0;

    // What tells the search to ask the shell's own resolution.
    std::string environmentTarget;  // "%ProgramFiles%\\..." in UTF-8; empty: none
    bool hasKnownFolder = false;
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
