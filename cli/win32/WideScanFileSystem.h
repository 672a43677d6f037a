// The scanner's file system: UTF-8 paths inside, the wide calls at the edge
// with "\\?\" paths, so that every name in every script is read exactly (no
// best-fit look-alike, no trailing dot or space cut off) and paths reach the
// system's own limit of 32,767 characters. Shortcuts are read through
// IShellLinkW, the shell link's class object asked for once per file system.
// Used on one thread; COM must be initialised on it for as long as it lives.
#ifndef VELTMOR_CLI_WIN32_WIDESCANFILESYSTEM_H
#define VELTMOR_CLI_WIN32_WIDESCANFILESYSTEM_H

#include <windows.h>
#include <objbase.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "SystemPath.h"
#include "cli/RowKinds.h"
#include "cli/ScanLocations.h"
#include "scan/ScanPlatform.h"

namespace cli {

// What the scan's readers share with the host, whatever thread they read
// on: why each shortcut that gave no target gave none (noted while it was
// open for its first read, so that saying why costs one call on an open
// shortcut rather than a second open), and how to expand a target stored
// with environment variables for the profile being scanned.
class CReadContext {
public:
    // Expands a stored "%VARIABLE%\..." target; false, with the problem,
    // when it cannot be expanded for the profile.
    using Expander = std::function<bool(const std::string& stored, std::string& expanded, std::string& problem)>;

    void Note(const std::string& shortcutPath, MissingReason reason);
    // Takes the note; false when there is none.
    bool Take(const std::string& shortcutPath, MissingReason& reason);

    // Set between scans, never while readers read.
    void SetExpander(Expander expander) { m_expander = std::move(expander); }
    const Expander& GetExpander() const { return m_expander; }
    // The other user whose installs judge advertised and ClickOnce
    // shortcuts; null: the caller's own (and all users'). Set with the expander.
    void SetProfile(std::shared_ptr<const ProfileRecord> profile) { m_profile = std::move(profile); }
    const ProfileRecord* Profile() const { return m_profile.get(); }

private:
    std::mutex m_mutex;
    std::map<std::string, MissingReason> m_reasons;
    Expander m_expander;  // empty: the shell's own expansion
    std::shared_ptr<const ProfileRecord> m_profile;
};

class CWideScanFileSystem : public scan::ScanFileSystem {
public:
    // context: where reasons are noted and expansions found; none: nowhere.
    explicit CWideScanFileSystem(CReadContext* context);  // we don't own it
    ~CWideScanFileSystem() override;
    CWideScanFileSystem(const CWideScanFileSystem&) = delete;
    CWideScanFileSystem& operator=(const CWideScanFileSystem&) = delete;

    bool Fits(const std::string& path) override;
    Search FindFirst(const std::string& pattern, scan::FindEntry& entry) override;
    bool FindNext(Search search, scan::FindEntry& entry) override;
    void FindClose(Search search) override;
    bool SearchFailed() override { return m_searchFailed; }
    bool FolderIdentity(const std::string& folder, scan::FolderId& id) override;
    // UTF-8: no byte of a character is ever a backslash.
    bool IsLeadByte(unsigned char) const override { return false; }
    void AddBackslash(std::string& path) override;
    // Where the target's drive letter does not answer, the share the
    // shortcut recorded for it does (ShortcutTarget::networkPath).
    scan::Presence LinkTargetPresence(const scan::ShortcutTarget& target) override;
    scan::Presence PifTargetPresence(const scan::ShortcutTarget& target) override;
    std::string Root(const std::string& path) override;
    unsigned DriveType(const std::string& root) override;
    void ResolveShortcut(const std::string& shortcutPath, scan::ShortcutTarget& target) override;
    std::string LoadText(unsigned id) override;
    // Internet shortcuts and ClickOnce references.
    std::vector<std::string> MoreShortcutPatterns() override { return {"*.url", "*.appref-ms"}; }

    // Releases the class object; before the thread ends COM.
    void ReleaseLinkMaker();

private:
    CReadContext* m_context;
    IClassFactory* m_linkMaker = nullptr;  // ours; null until the first read, or when not given
    bool m_linkMakerAsked = false;
    bool m_searchFailed = false;
};

// Why a shortcut gave no target, read again through the shell link
// service: Unreadable when it does not open, InstallerManaged when it
// carries a darwin identifier (SLDF_HAS_DARWINID), NoFileTarget otherwise.
// For a shortcut whose first read was not noted.
MissingReason ReadWhyNoTarget(const std::string& shortcutPath);

}  // namespace cli

#endif
