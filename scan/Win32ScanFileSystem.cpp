#include "Win32ScanFileSystem.h"

#include <io.h>
#include <shlwapi.h>

#include <cstring>

#include "ShortcutReader.h"

namespace scan {

namespace {

void CopyEntry(const WIN32_FIND_DATAA& data, FindEntry& entry)
{
    const std::size_t n = strnlen(data.cFileName, kMaxPathLength);
    std::memcpy(entry.name, data.cFileName, n);
    entry.name[n] = '\0';
    entry.attributes = data.dwFileAttributes;
}

}  // namespace

CWin32ScanFileSystem::CWin32ScanFileSystem(HWND owner, HINSTANCE strings)
    : m_owner(owner), m_strings(strings)
{
}

ScanFileSystem::Search CWin32ScanFileSystem::FindFirst(const char* pattern, FindEntry& entry)
{
    WIN32_FIND_DATAA data;
    const HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        m_searchFailed = error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES;
        return nullptr;
    }
    m_searchFailed = false;
    CopyEntry(data, entry);
    return search;
}

bool CWin32ScanFileSystem::FindNext(Search search, FindEntry& entry)
{
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(static_cast<HANDLE>(search), &data))
        return false;
    CopyEntry(data, entry);
    return true;
}

void CWin32ScanFileSystem::FindClose(Search search)
{
    ::FindClose(static_cast<HANDLE>(search));
}

bool CWin32ScanFileSystem::FolderIdentity(const char* folder, FolderId& id)
{
    // A folder opens only with backup semantics; no access is asked, so
    // reading its identity needs no right to its contents.
    const HANDLE handle =
        CreateFileA(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!ok)
        return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool CWin32ScanFileSystem::IsLeadByte(unsigned char c) const
{
    return IsDBCSLeadByte(c) != FALSE;
}

void CWin32ScanFileSystem::AddBackslash(char* path)
{
    PathAddBackslashA(path);
}

bool CWin32ScanFileSystem::LinkTargetExists(const char* target)
{
    return _access(target, 0) == 0;
}

bool CWin32ScanFileSystem::PifTargetExists(const char* target)
{
    return PathFileExistsA(target) != FALSE;
}

void CWin32ScanFileSystem::StripToRoot(char* path)
{
    PathStripToRootA(path);
}

unsigned CWin32ScanFileSystem::DriveType(const char* root)
{
    return GetDriveTypeA(root);
}

void CWin32ScanFileSystem::ResolveShortcut(const char* shortcutPath, char* target)
{
    scan::ResolveShortcut(m_owner, shortcutPath, target);
}

std::string CWin32ScanFileSystem::LoadText(unsigned id)
{
    // LoadStringA cuts a text that does not fit; grow until it fits.
    std::string text(64, '\0');
    for (;;) {
        const int n = LoadStringA(m_strings, id, &text[0], static_cast<int>(text.size()));
        if (n < static_cast<int>(text.size()) - 1) {
            text.resize(n > 0 ? n : 0);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

}  // namespace scan
