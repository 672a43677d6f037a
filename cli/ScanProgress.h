// The progress line of a long scan on a console: folders and shortcuts so
// far and the folder being read. It sits between the engine and the file
// system and counts what the walk asks for, so the engine knows nothing of
// it; on a pipe or a file the command does not put it there at all.
#ifndef VELTMOR_CLI_SCANPROGRESS_H
#define VELTMOR_CLI_SCANPROGRESS_H

#include <cstdint>
#include <string>

#include "ScanHost.h"
#include "scan/ScanPlatform.h"

namespace cli {

class CScanProgress : public scan::ScanFileSystem {
public:
    // A scan shorter than this shows nothing; after it the line is
    // rewritten at most every kEveryMs.
    static constexpr std::uint64_t kDelayMs = 1000;
    static constexpr std::uint64_t kEveryMs = 200;

    CScanProgress(scan::ScanFileSystem& fileSystem, ScanHost& host);  // we don't own them
    ~CScanProgress() override;  // clears the line

    CScanProgress(const CScanProgress&) = delete;
    CScanProgress& operator=(const CScanProgress&) = delete;

    // Clears the line, if one is shown.
    void Finish();

    // One more shortcut, read elsewhere.
    void CountShortcut();

    unsigned Folders() const { return m_folders; }
    unsigned Shortcuts() const { return m_shortcuts; }

    bool Fits(const std::string& path) override { return m_fileSystem.Fits(path); }
    Search FindFirst(const std::string& pattern, scan::FindEntry& entry) override;
    bool FindNext(Search search, scan::FindEntry& entry) override { return m_fileSystem.FindNext(search, entry); }
    void FindClose(Search search) override { m_fileSystem.FindClose(search); }
    bool SearchFailed() override { return m_fileSystem.SearchFailed(); }
    bool FolderIdentity(const std::string& folder, scan::FolderId& id) override
    {
        return m_fileSystem.FolderIdentity(folder, id);
    }
    bool IsLeadByte(unsigned char c) const override { return m_fileSystem.IsLeadByte(c); }
    void AddBackslash(std::string& path) override { m_fileSystem.AddBackslash(path); }
    scan::Presence LinkTargetPresence(const scan::ShortcutTarget& target) override
    {
        return m_fileSystem.LinkTargetPresence(target);
    }
    scan::Presence PifTargetPresence(const scan::ShortcutTarget& target) override
    {
        return m_fileSystem.PifTargetPresence(target);
    }
    std::string Root(const std::string& path) override { return m_fileSystem.Root(path); }
    unsigned DriveType(const std::string& root) override { return m_fileSystem.DriveType(root); }
    void ResolveShortcut(const std::string& shortcutPath, scan::ShortcutTarget& target) override;
    std::string LoadText(unsigned id) override { return m_fileSystem.LoadText(id); }
    std::vector<std::string> MoreShortcutPatterns() override { return m_fileSystem.MoreShortcutPatterns(); }

private:
    void Tick();

    scan::ScanFileSystem& m_fileSystem;
    ScanHost& m_host;
    std::uint64_t m_start;
    std::uint64_t m_shown = 0;
    bool m_showing = false;
    unsigned m_folders = 0;
    unsigned m_shortcuts = 0;
    std::string m_folder;  // the one being read
};

}  // namespace cli

#endif
