// An open shortcut: the shell link and its persist interface, held for one
// read. The dialog reads through IShellLinkA, the scanner through
// IShellLinkW. Windows only.
#ifndef VELTMOR_SCAN_OPENSHORTCUT_H
#define VELTMOR_SCAN_OPENSHORTCUT_H

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

namespace scan {

template <class LinkInterface>
class CShortcutInterfaces {
public:
    CShortcutInterfaces() = default;
    ~CShortcutInterfaces() { Release(); }

    CShortcutInterfaces(const CShortcutInterfaces&) = delete;
    CShortcutInterfaces& operator=(const CShortcutInterfaces&) = delete;

    // Both null unless the open succeeded. We own them.
    LinkInterface* Link() const { return m_link; }
    IPersistFile* File() const { return m_file; }

    // The slots the open fills, one step at a time; hold nothing when asked.
    LinkInterface** LinkSlot() { return &m_link; }
    IPersistFile** FileSlot() { return &m_file; }

    // Releases the persist interface first, then the link; safe to repeat.
    void Release()
    {
        if (m_file)
            m_file->Release();
        m_file = nullptr;
        if (m_link)
            m_link->Release();
        m_link = nullptr;
    }

private:
    LinkInterface* m_link = nullptr;
    IPersistFile* m_file = nullptr;
};

using COpenShortcut = CShortcutInterfaces<IShellLinkA>;
using COpenWideShortcut = CShortcutInterfaces<IShellLinkW>;

}  // namespace scan

#endif
