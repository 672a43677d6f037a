// An open shortcut: the shell link and its persist interface, held for one
// read. Windows only.
#ifndef VELTMOR_SCAN_OPENSHORTCUT_H
#define VELTMOR_SCAN_OPENSHORTCUT_H

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

namespace scan {

class COpenShortcut;
HRESULT OpenShortcut(HWND owner, const char* shortcutPath, COpenShortcut& shortcut, IClassFactory* maker);

class COpenShortcut {
public:
    COpenShortcut() = default;
    ~COpenShortcut() { Release(); }

    COpenShortcut(const COpenShortcut&) = delete;
    COpenShortcut& operator=(const COpenShortcut&) = delete;

    // Both null unless OpenShortcut succeeded. We own them.
    IShellLinkA* Link() const { return m_link; }
    IPersistFile* File() const { return m_file; }

    // Releases the persist interface first, then the link; safe to repeat.
    void Release();

private:
    // Fills the two slots one step at a time; releases all it holds first.
    friend HRESULT OpenShortcut(HWND owner, const char* shortcutPath, COpenShortcut& shortcut,
                                IClassFactory* maker);

    IShellLinkA* m_link = nullptr;
    IPersistFile* m_file = nullptr;
};

}  // namespace scan

#endif
