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
    if (search == INVALID_HANDLE_VALUE)
        return nullptr;
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
