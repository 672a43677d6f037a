#include "Win32ScanHost.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>

namespace cli {

namespace {

// An item identifier list the shell handed us.
struct ItemIdListFree {
    void operator()(ITEMIDLIST* pidl) const { ::CoTaskMemFree(pidl); }
};
using ItemIdList = std::unique_ptr<ITEMIDLIST, ItemIdListFree>;

std::wstring Widen(const std::string& text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), size, NULL, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], n);
    return wide;
}

bool IsConsole(HANDLE stream)
{
    DWORD mode;
    return ::GetConsoleMode(stream, &mode) != FALSE;
}

bool WriteWideToConsole(HANDLE console, const std::wstring& wide)
{
    // Old consoles refuse large writes: a few thousand characters at a time,
    // never splitting a surrogate pair.
    const std::size_t kChunk = 4096;
    for (std::size_t at = 0; at < wide.size();) {
        std::size_t n = std::min(kChunk, wide.size() - at);
        if (at + n < wide.size() && IS_HIGH_SURROGATE(wide[at + n - 1]))
            --n;
        DWORD written = 0;
        if (!::WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(n), &written, NULL) || written == 0)
            return false;
        at += written;
    }
    return true;
}

bool WriteBytes(HANDLE stream, const std::string& bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        DWORD written = 0;
        const DWORD n = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20));
        if (!::WriteFile(stream, bytes.data() + at, n, &written, NULL) || written == 0)
            return false;
        at += written;
    }
    return true;
}

}  // namespace

CWin32ScanHost::CWin32ScanHost()
    : m_output(::GetStdHandle(STD_OUTPUT_HANDLE)), m_error(::GetStdHandle(STD_ERROR_HANDLE))
{
}

std::string CWin32ScanHost::StartMenuFolder()
{
    ItemIdList startMenu;
    LPITEMIDLIST pidl = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(NULL, CSIDL_STARTMENU, &pidl)))
        return std::string();
    startMenu.reset(pidl);
    char path[MAX_PATH] = "";
    if (!::SHGetPathFromIDListA(startMenu.get(), path))
        return std::string();
    return path;
}

bool CWin32ScanHost::IsFolder(const std::string& path)
{
    return ::PathIsDirectoryA(path.c_str()) != FALSE;
}

std::string CWin32ScanHost::AnsiToUtf8(const std::string& ansi)
{
    const std::wstring wide = Widen(ansi, CP_ACP);
    if (wide.empty())
        return std::string();
    const int size = static_cast<int>(wide.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, NULL, 0, NULL, NULL);
    if (n <= 0)
        return std::string();
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], n, NULL, NULL);
    return utf8;
}

bool CWin32ScanHost::WriteOutput(const std::string& text, Encoding encoding)
{
    return Write(m_output, text, encoding == Encoding::Utf8 ? CP_UTF8 : CP_ACP);
}

void CWin32ScanHost::WriteError(const std::string& line)
{
    Write(m_error, line + "\r\n", CP_ACP);
}

bool CWin32ScanHost::Write(HANDLE stream, const std::string& text, UINT codePage)
{
    // Started without standard handles, as from a service: nowhere to write,
    // and nothing lost that anyone could read.
    if (stream == NULL || stream == INVALID_HANDLE_VALUE)
        return true;
    if (IsConsole(stream))
        return WriteWideToConsole(stream, Widen(text, codePage));
    return WriteBytes(stream, text);
}

}  // namespace cli
