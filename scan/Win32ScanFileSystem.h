// The scan's file-system side over the real Win32 calls. Windows only; the
// caller has initialised COM on this thread.
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

    Search FindFirst(const char* pattern, FindEntry& entry) override;
    bool FindNext(Search search, FindEntry& entry) override;
    void FindClose(Search search) override;
    bool SearchFailed() override { return m_searchFailed; }
    bool FolderIdentity(const char* folder, FolderId& id) override;
    bool IsLeadByte(unsigned char c) const override;

    void AddBackslash(char* path) override;

    bool LinkTargetExists(const char* target) override;
    bool PifTargetExists(const char* target) override;

    void StripToRoot(char* path) override;
    unsigned DriveType(const char* root) override;

    void ResolveShortcut(const char* shortcutPath, char* target) override;

    std::string LoadText(unsigned id) override;

private:
    HWND m_owner;         // we don't own it
    HINSTANCE m_strings;  // nor this
    bool m_searchFailed = false;
};

}  // namespace scan

#endif
