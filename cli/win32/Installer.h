// What is installed, as the installers themselves keep it: the Windows
// Installer's answer for an advertised shortcut's product, and a ClickOnce
// application's uninstall entry. Windows only; msi.dll is loaded on the
// first question (a scan without advertised shortcuts never loads it), and
// a system without it answers nothing: every verdict is then Unverified.
#ifndef VELTMOR_CLI_WIN32_INSTALLER_H
#define VELTMOR_CLI_WIN32_INSTALLER_H

#include <string>

#include "cli/kinds/ShortcutText.h"

namespace cli {

// Gone only where the installer (or the registry it keeps) said so.
struct InstalledAnswer {
    enum class Verdict { Installed, Gone, Unverified } verdict = Verdict::Unverified;
    std::string detail;  // what was asked and what the answer was
};

// An advertised shortcut, opened at openPath by the installer
// (MsiGetShortcutTargetW). The caller's own, or all users': its product's
// state (MsiQueryProductStateW): unknown to the installer, Gone; installed
// or advertised, Installed once its component is known to it
// (MsiGetComponentPathW); anything else, Unverified. In another user's
// profile (userSid not empty) that user's contexts and the machine's are
// asked (MsiGetProductInfoExW): Gone only when each says it does not know
// the product, which an account without the right to ask never hears.
InstalledAnswer AskInstaller(const std::wstring& openPath, const std::string& userSid);

// A ClickOnce reference: Installed when an entry below the user's
// Software\Microsoft\Windows\CurrentVersion\Uninstall is that application
// (EntryIsApplication); Gone when the key was read whole and none is (or
// there is no such key); Unverified when the key or an entry cannot be read,
// or the other user's registry is not loaded (userSid not empty and not
// hiveLoaded).
InstalledAnswer AskClickOnce(const AppReference& reference, const std::string& userSid, bool hiveLoaded);

}  // namespace cli

#endif
