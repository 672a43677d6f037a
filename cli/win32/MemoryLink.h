// A shell link object loaded from a shortcut's bytes in memory and saved
// back to bytes (IPersistStream on HGLOBAL streams): the shell reads and
// writes the format, never the file, so it can neither lock, update nor
// write the shortcut itself. Windows only.
#ifndef VELTMOR_CLI_WIN32_MEMORYLINK_H
#define VELTMOR_CLI_WIN32_MEMORYLINK_H

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "Scoped.h"

namespace cli {

class CMemoryLink {
public:
    // Makes the link object and loads bytes into it.
    HRESULT Load(const std::string& bytes);
    // What the link object holds now, as a shortcut file's bytes.
    HRESULT Save(std::string& bytes);

    IShellLinkW* operator->() const { return m_link.Get(); }

private:
    CComHeld<IShellLinkW> m_link;
    CComHeld<IPersistStream> m_persist;
};

}  // namespace cli

#endif
