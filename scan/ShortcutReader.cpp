#include "ShortcutReader.h"

#include <cstring>

namespace scan {

namespace {

// No dialog (SLR_NO_UI) and give up the search for a moved target after
// 500 ms (the timeout lives in the high word).
constexpr DWORD kResolveFlags = SLR_NO_UI | (500u << 16);

HRESULT LastErrorResult()
{
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

HRESULT OpenShortcut(HWND owner, const char* shortcutPath, COpenShortcut& shortcut)
{
    shortcut.Release();
    if (!shortcutPath)
        return E_POINTER;

    HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&shortcut.m_link));
    if (FAILED(hr)) {
        shortcut.m_link = nullptr;  // not ours to release
        return hr;
    }
    hr = shortcut.m_link->QueryInterface(IID_IPersistFile,
                                         reinterpret_cast<void**>(&shortcut.m_file));
    if (FAILED(hr)) {
        shortcut.m_file = nullptr;
        shortcut.Release();
        return hr;
    }

    // A path that does not fit is refused rather than cut: a cut path names
    // another file.
    WCHAR wide[kPathBuffer];
    if (MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, wide, kPathBuffer) == 0) {
        hr = LastErrorResult();
        shortcut.Release();
        return hr;
    }

    hr = shortcut.m_file->Load(wide, STGM_READ);
    if (SUCCEEDED(hr))
        hr = shortcut.m_link->Resolve(owner, kResolveFlags);
    if (FAILED(hr))
        shortcut.Release();
    return hr;
}

void ResolveShortcut(HWND owner, const char* shortcutPath, char* target)
{
    target[0] = '\0';
    COpenShortcut shortcut;
    if (FAILED(OpenShortcut(owner, shortcutPath, shortcut)))
        return;

    // Zero-filled, so a read that writes nothing still gives the empty text;
    // the last character is forced in case the service fills all of it.
    char buffer[kPathBuffer] = {};
    WIN32_FIND_DATAA findData = {};
    shortcut.Link()->GetPath(buffer, kPathBuffer, &findData, 0);  // result not consulted
    buffer[kMaxPathLength] = '\0';
    std::memcpy(target, buffer, std::strlen(buffer) + 1);
}

}  // namespace scan
