// The scanner's readers for the shortcuts that are not plain shell links to
// files: .url and .appref-ms files, read as text, and advertised shortcuts,
// asked of the installer. Each fills the target as the engine takes it and
// says why a row without a target has none. Windows only.
#ifndef VELTMOR_CLI_WIN32_KINDREADERS_H
#define VELTMOR_CLI_WIN32_KINDREADERS_H

#include <string>

#include "cli/ScanLocations.h"
#include "cli/ScanRow.h"
#include "cli/kinds/ShortcutText.h"
#include "scan/ScanPlatform.h"

namespace cli {

// A .url or .appref-ms file at openPath (at most kLargestShortcutText bytes,
// read once): a file: URL gives its path as the target, tested as any
// target is; another scheme none (NotAFile); a ClickOnce reference is
// judged by its uninstall entry (Installer.h). profile: the other user's
// whose shortcut it is; null for the caller's own and all users'. Returns
// why a target left empty is empty (Unreadable for a damaged file), None
// when it is not.
MissingReason ReadTextShortcut(ShortcutKind kind, const std::wstring& openPath, const ProfileRecord* profile,
                               scan::ShortcutTarget& target);

// An advertised shortcut, already read and without a file target: judged
// by the installer. Gone: a proven-missing judgement (InstallerOrphaned);
// no answer: an unverified one; installed: no judgement (InstallerManaged,
// not broken, as it always was).
MissingReason JudgeAdvertised(const std::wstring& openPath, const ProfileRecord* profile, scan::ShortcutTarget& target);

}  // namespace cli

#endif
