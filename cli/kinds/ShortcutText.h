// The shortcuts that are text files rather than shell links: Internet
// shortcuts (.url, an INI file) and ClickOnce application references
// (.appref-ms, one line of UTF-16 naming a deployment). Portable: the bytes
// come in, the code page's conversion is the caller's.
#ifndef VELTMOR_CLI_KINDS_SHORTCUTTEXT_H
#define VELTMOR_CLI_KINDS_SHORTCUTTEXT_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "cli/RowKinds.h"

namespace cli {

// Both kinds are a few hundred bytes; anything past this is not one, and is
// refused unread rather than held in memory.
constexpr std::size_t kLargestShortcutText = 64 * 1024;

// The system code page's bytes as UTF-8; false when they are not valid there.
using CodePageDecoder = std::function<bool(const std::string& bytes, std::string& utf8)>;

// The file's text as UTF-8: UTF-16 (either byte order) or UTF-8 by its byte
// order mark, UTF-16LE without one when every other byte of an ASCII start
// is zero, otherwise UTF-8 when it is valid UTF-8, else the code page.
// False for text no editor would write: a NUL, unpaired surrogates, an odd
// UTF-16 length, or more than kLargestShortcutText bytes.
bool DecodeShortcutText(const std::string& bytes, const CodePageDecoder& codePage, std::string& utf8);

// The address of an Internet shortcut: the URL value of its
// [InternetShortcut] section (names in any case), or, where Windows wrote
// one for an address the code page cannot spell, [InternetShortcut.W]'s
// (UTF-7). False, with why, when there is none: a damaged file.
bool ReadUrlFile(const std::string& bytes, const CodePageDecoder& codePage, std::string& url, std::string& problem);

// What a URL names. A "file:" address gives its Windows path; an address
// whose path cannot be told for certain is Unsure, never taken for another
// file's path.
struct UrlTarget {
    enum class Kind { File, NotAFile, Unsure } kind = Kind::Unsure;
    std::string path;    // File: "C:\dir\name" or "\\server\share\name"
    std::string scheme;  // lower case, without ':'
    std::string problem; // Unsure: why
};
UrlTarget UrlToTarget(const std::string& url);

// A ClickOnce reference: "<deployment URL>#<name>, Culture=..,
// PublicKeyToken=.., processorArchitecture=..". Identity keys are kept
// lower case, in the order written.
struct AppReference {
    std::string deployment;
    std::string name;
    std::vector<std::pair<std::string, std::string>> identity;
};
bool ParseAppReference(const std::string& text, AppReference& reference, std::string& problem);

// The same application: the same name and the same identity values, case
// and order aside (the deployment's address may change with an update).
bool SameApplication(const AppReference& a, const AppReference& b);

// True when an uninstall entry's values say it is that application's
// ClickOnce registration: its ShortcutAppId is the same application, or its
// UninstallString maintains it through dfshim.dll ("rundll32.exe
// dfshim.dll,ShArpMaintain <name>, Culture=..., ...").
// "pinned" for a path below a "User Pinned" folder (the taskbar's and
// Start's pins), "tombstone" below a Tombstone folder there (Explorer's own
// store of dead pins), otherwise location as it is.
std::string PinnedLocation(const std::string& path, const std::string& location);

bool EntryIsApplication(const std::string& shortcutAppId, const std::string& uninstallString,
                        const AppReference& reference);

}  // namespace cli

#endif
