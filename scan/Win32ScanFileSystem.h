// The dialog's file-system side over the real Win32 calls: ANSI paths of at
// most 259 characters. Where the ANSI calls would name the wrong file, or
// call a working shortcut broken, it goes through the wide ones: names the
// code page cannot spell exactly are given by their short names or passed
// over, and a target the ANSI text cannot spell is tested in UTF-16.
// Windows only; the caller has initialised COM on this thread.
#ifndef VELTMOR_SCAN_WIN32SCANFILESYSTEM_H
#define VELTMOR_SCAN_WIN32SCANFILESYSTEM_H

#include <windows.h>

#include "ScanPlatform.h"

namespace scan {

class CWin32ScanFileSystem : public ScanFileSystem {
public:
    // owner: the window the shell link service may use while resolving (we
    // don't own it). strings: the module holding the string table.
    explicit CWin32ScanFileSystem(HWND owner, HINSTANCE strings = GetModuleHandle(NULL));

    // The dialog's window exists only after the dialog that owns us is created.
    void SetOwner(HWND owner) { m_owner = owner; }
    HWND Owner() const { return m_owner; }

    // 259 characters: the dialog's buffers hold 260 with the terminator.
    bool Fits(const std::string& path) override { return path.size() <= kMaxPathLength; }

    Search FindFirst(const std::string& pattern, FindEntry& entry) override;
    bool FindNext(Search search, FindEntry& entry) override;
    void FindClose(Search search) override;
    bool SearchFailed() override { return m_searchFailed; }
    bool FolderIdentity(const std::string& folder, FolderId& id) override;
    bool IsLeadByte(unsigned char c) const override;

    void AddBackslash(std::string& path) override;

    Presence LinkTargetPresence(const ShortcutTarget& target) override;
    Presence PifTargetPresence(const ShortcutTarget& target) override;

    std::string Root(const std::string& path) override;
    unsigned DriveType(const std::string& root) override;

    void ResolveShortcut(const std::string& shortcutPath, ShortcutTarget& target) override;

    std::string LoadText(unsigned id) override;

private:
    HWND m_owner;         // we don't own it
    HINSTANCE m_strings;  // nor this
    bool m_searchFailed = false;
};

}  // namespace scan

#endif
