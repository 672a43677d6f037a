// One row of the scanner's output: a row of the dialog's results list plus
// the drive type of its target's root, and what follows from the two.
#ifndef VELTMOR_CLI_SCANROW_H
#define VELTMOR_CLI_SCANROW_H

#include <string>

namespace cli {

enum class MissingReason {
    None,              // the target is present
    Missing,           // on a fixed drive, and absent
    NoTarget,          // the shortcut gave no file-system path
    UnreachableDrive,  // the root is not a fixed drive: it may only be away now
};

struct ScanRow {
    std::string shortcut;  // the dialog's column 0
    std::string target;    // column 1, possibly empty
    bool present = false;  // the dialog's image: check mark or cross
    unsigned driveType = 0;  // GetDriveTypeA of the target's root, as the filter asks it

    MissingReason Reason() const;

    const char* StatusName() const { return present ? "present" : "missing"; }
    const char* DriveTypeName() const;
    // "" for a present target.
    const char* ReasonName() const;
};

}  // namespace cli

#endif
