#include "ShortcutReader.h"

#include <cstring>

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

// A file read at offsets, never more than the check asks for. Every kind of
// sharing is allowed, so that the check never stands in the way of anyone
// else's use of the file.
class CFileByteSource : public ByteSource {
public:
    explicit CFileByteSource(const char* path)
        : m_file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL))
    {
    }
    ~CFileByteSource() override
    {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    CFileByteSource(const CFileByteSource&) = delete;
    CFileByteSource& operator=(const CFileByteSource&) = delete;

    bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }

    bool Size(std::uint64_t& size) override
    {
        LARGE_INTEGER length;
        if (!GetFileSizeEx(m_file, &length) || length.QuadPart < 0)
            return false;
        size = static_cast<std::uint64_t>(length.QuadPart);
        return true;
    }

    // Moves the handle's own position rather than reading through an
    // OVERLAPPED offset: the handle is ours alone, and Wine makes a server
    // round trip for every read that carries an OVERLAPPED.
    bool Read(std::uint64_t offset, void* buffer, std::size_t length) override
    {
        if (length > MAXDWORD || offset > static_cast<std::uint64_t>(MAXLONGLONG))
            return false;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        return SetFilePointerEx(m_file, at, NULL, FILE_BEGIN) &&
               ReadFile(m_file, buffer, static_cast<DWORD>(length), &got, NULL) && got == length;
    }

private:
    HANDLE m_file;
};

}  // namespace

HRESULT OpenShortcut(HWND owner, const char* shortcutPath, COpenShortcut& shortcut, IClassFactory* maker)
{
    shortcut.Release();
    if (!shortcutPath)
        return E_POINTER;

    void** link = reinterpret_cast<void**>(&shortcut.m_link);
    HRESULT hr = maker ? maker->CreateInstance(NULL, IID_IShellLinkA, link)
                       : CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link);
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

    // Our own check comes right before the shell's load and fails as a load
    // does: the shell's reader trusts the sizes written in the file.
    hr = CheckShortcutFile(shortcutPath);
    if (SUCCEEDED(hr))
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

HRESULT CheckShortcutFile(const char* shortcutPath)
{
    if (!shortcutPath)
        return E_POINTER;
    CFileByteSource file(shortcutPath);
    if (!file.IsOpen())
        return LastErrorResult();
    return MayGoToShell(shortcutPath, file) ? S_OK : HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
}

}  // namespace scan
