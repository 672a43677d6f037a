#include "ShortcutReader.h"

#include <cstring>
#include <cwchar>

#include <shlobj.h>
#include <shlwapi.h>

#include "FileByteSource.h"
#include "LinkStructure.h"

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


// A link object loaded from bytes in memory (IPersistStream): the shell's
// reader sees only what the structure check passed.
HRESULT LoadBytes(IUnknown* link, const std::string& bytes)
{
    IPersistStream* persist = nullptr;
    HRESULT hr = link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
    if (FAILED(hr))
        return hr;
    IStream* stream = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    hr = stream ? persist->Load(stream) : E_OUTOFMEMORY;
    if (stream)
        stream->Release();
    persist->Release();
    return hr;
}

// The open's steps after the path is in UTF-16, for either link interface.
template <class LinkInterface>
HRESULT Open(HWND owner, REFIID iid, const wchar_t* wide, const std::string& name,
             CShortcutInterfaces<LinkInterface>& shortcut, IClassFactory* maker, std::string* content = nullptr)
{
    void** link = reinterpret_cast<void**>(shortcut.LinkSlot());
    HRESULT hr = maker ? maker->CreateInstance(NULL, iid, link)
                       : CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, iid, link);
    if (FAILED(hr)) {
        *shortcut.LinkSlot() = nullptr;  // not ours to release
        return hr;
    }
    hr = shortcut.Link()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(shortcut.FileSlot()));
    if (FAILED(hr)) {
        *shortcut.FileSlot() = nullptr;
        shortcut.Release();
        return hr;
    }
    if (!wide) {
        hr = LastErrorResult();
        shortcut.Release();
        return hr;
    }
    // Our own check comes right before the shell's load and fails as a load
    // does: the shell's reader trusts the sizes written in the file.
    hr = CheckShortcutFile(wide, name, content);
    // Where the checked bytes are at hand the shell parses exactly those:
    // no second open, and no file swapped in between the check and the load.
    if (SUCCEEDED(hr))
        hr = content && !content->empty() ? LoadBytes(shortcut.Link(), *content) : shortcut.File()->Load(wide, STGM_READ);
    if (SUCCEEDED(hr))
        hr = shortcut.Link()->Resolve(owner, kResolveFlags);
    if (FAILED(hr))
        shortcut.Release();
    return hr;
}

// '?' past a "\\?\" prefix.
bool HoldsFallback(const std::wstring& path)
{
    const std::size_t from = path.compare(0, 4, L"\\\\?\\") == 0 ? 4 : 0;
    return path.find(L'?', from) != std::wstring::npos;
}

// SHGetPathFromIDListEx (Vista and later, and Wine) takes paths of any
// length; this build also runs where it is absent, so it is looked up, and
// SHGetPathFromIDListW's 260 characters serve there.
using PathFromIdListEx = BOOL(WINAPI*)(LPCITEMIDLIST, PWSTR, DWORD, int);

std::wstring PathOfIdList(IShellLinkW* link)
{
    LPITEMIDLIST items = nullptr;
    if (FAILED(link->GetIDList(&items)) || !items)
        return std::wstring();
    static const PathFromIdListEx longPath = [] {
        const HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
        return shell ? reinterpret_cast<PathFromIdListEx>(
                           reinterpret_cast<void*>(::GetProcAddress(shell, "SHGetPathFromIDListEx")))
                     : nullptr;
    }();
    std::wstring path(longPath ? 32768 : MAX_PATH, L'\0');
    const BOOL ok = longPath ? longPath(items, &path[0], static_cast<DWORD>(path.size()), 0)
                             : ::SHGetPathFromIDListW(items, &path[0]);
    ::CoTaskMemFree(items);
    if (!ok)
        return std::wstring();
    path.back() = L'\0';
    path.resize(wcslen(path.c_str()));
    return path;
}

}  // namespace

HRESULT OpenShortcut(HWND owner, const char* shortcutPath, COpenShortcut& shortcut, IClassFactory* maker)
{
    shortcut.Release();
    if (!shortcutPath)
        return E_POINTER;
    // A path that does not fit is refused rather than cut: a cut path names
    // another file.
    WCHAR wide[kPathBuffer];
    const bool converted = MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, wide, kPathBuffer) != 0;
    return Open(owner, IID_IShellLinkA, converted ? wide : nullptr, shortcutPath, shortcut, maker);
}

HRESULT OpenWideShortcut(HWND owner, const std::wstring& openPath, const std::string& name,
                         COpenWideShortcut& shortcut, IClassFactory* maker, std::string* content)
{
    shortcut.Release();
    return Open(owner, IID_IShellLinkW, openPath.c_str(), name, shortcut, maker, content);
}

void ResolveShortcut(HWND owner, const char* shortcutPath, char* target)
{
    target[0] = '\0';
    COpenShortcut shortcut;
    if (FAILED(OpenShortcut(owner, shortcutPath, shortcut)))
        return;

    WIN32_FIND_DATAA findData = {};
    ReadTarget(shortcut, &findData, target);
}

void ReadTarget(const COpenShortcut& shortcut, WIN32_FIND_DATAA* findData, char* target)
{
    // Zero-filled, so a read that writes nothing still gives the empty text;
    // the last character is forced in case the service fills all of it.
    char buffer[kPathBuffer] = {};
    shortcut.Link()->GetPath(buffer, kPathBuffer, findData, 0);  // result not consulted
    buffer[kMaxPathLength] = '\0';
    std::memcpy(target, buffer, std::strlen(buffer) + 1);
}

std::wstring ReadWideTarget(IUnknown* link)
{
    IShellLinkW* wideLink = nullptr;
    if (!link || FAILED(link->QueryInterface(IID_IShellLinkW, reinterpret_cast<void**>(&wideLink))))
        return std::wstring();
    // The system's own limit for a path; the shell gives no more.
    std::wstring buffer(32768, L'\0');
    if (FAILED(wideLink->GetPath(&buffer[0], static_cast<int>(buffer.size()), NULL, 0)))
        buffer[0] = L'\0';
    buffer.back() = L'\0';
    buffer.resize(wcslen(buffer.c_str()));
    // A '?' is in no file name: the service fell back to a code-page copy
    // of the path it keeps (Wine does for every path of the link info). The
    // ID list names each item in UTF-16.
    if (HoldsFallback(buffer)) {
        const std::wstring fromItems = PathOfIdList(wideLink);
        if (!fromItems.empty() && !HoldsFallback(fromItems))
            buffer = fromItems;
    }
    wideLink->Release();
    return buffer;
}

HRESULT CheckShortcutFile(const char* shortcutPath)
{
    if (!shortcutPath)
        return E_POINTER;
    WCHAR wide[kPathBuffer];
    if (MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, wide, kPathBuffer) == 0)
        return LastErrorResult();
    return CheckShortcutFile(wide, shortcutPath);
}

HRESULT CheckShortcutFile(const std::wstring& openPath, const std::string& name, std::string* content)
{
    CFileByteSource file(openPath.c_str());
    if (!file.IsOpen())
        return LastErrorResult();
    if (!MayGoToShell(name.c_str(), file))
        return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    // Read on the handle already open: no second open of the file. A larger
    // file (no real shortcut is) goes to the shell by path.
    std::uint64_t size = 0;
    if (content && file.Size(size) && size <= kLargestLoaded) {
        content->resize(static_cast<std::size_t>(size));
        if (!file.Read(0, &(*content)[0], content->size()))
            content->clear();
    }
    return S_OK;
}

}  // namespace scan
