#include "Win32ScanFileSystem.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "ShortcutReader.h"
#include "Win32Presence.h"
#include "Win32Text.h"

namespace scan {

namespace {

// A name the ANSI calls reach this entry by, and no other: the name itself
// when the code page spells it exactly and no trailing dot or space would be
// cut from it, else its short name under the same rule.
bool AnsiName(const WIN32_FIND_DATAW& data, std::string& name)
{
    const auto reaches = [](const wchar_t* wide, std::string& ansi) {
        const std::size_t n = wcslen(wide);
        const bool dots = std::wcscmp(wide, L".") == 0 || std::wcscmp(wide, L"..") == 0;
        if (n == 0 || (!dots && (wide[n - 1] == L'.' || wide[n - 1] == L' ')))
            return false;
        return ExactAnsi(wide, ansi);
    };
    return reaches(data.cFileName, name) || reaches(data.cAlternateFileName, name);
}

void CopyEntry(const WIN32_FIND_DATAW& data, FindEntry& entry)
{
    entry.attributes = data.dwFileAttributes;
    entry.exact = AnsiName(data, entry.name);
    if (!entry.exact)
        entry.name = Narrow(data.cFileName, CP_ACP);  // for naming it, never for reaching it
}

// The ANSI test as always where the ANSI text spells the target; the wide
// one where it does not. Only "not there" proves the target missing. The
// name tested is the shortcut's own only where the wide read gave it: the
// ANSI text alone may be a best-fit copy ("＂" read as '"').
// ansiTest: true when the target is there; when not, it leaves the system's
// reason in error, or 0 when its call does not give one: the test is then
// asked again in UTF-16 to learn why.
Presence TestTarget(const ShortcutTarget& target, bool (*ansiTest)(const char* path, DWORD& error))
{
    if (target.text.empty())
        return Presence{};
    const std::wstring fromText = Widen(target.text, CP_ACP);
    const bool stored = !target.exact.empty();
    if (stored) {
        const std::wstring exact = Widen(target.exact, CP_UTF8);
        if (exact != fromText)
            return AttributesPresence(exact, true);
    }
    DWORD error = 0;
    if (ansiTest(target.text.c_str(), error))
        return Presence{Verdict::Present, std::string()};
    return error != 0 ? PresenceOfFailure(fromText, error, stored) : AttributesPresence(fromText, stored);
}

// _access(path, 0), the dialog's test, is this call; made here, so that a
// missing target's reason comes with the test rather than from a second
// query of the same name.
bool Accessible(const char* path, DWORD& error)
{
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
        return true;
    error = GetLastError();
    return false;
}

bool FileExists(const char* path, DWORD& error)
{
    error = 0;  // PathFileExistsA does not say why
    return PathFileExistsA(path) != FALSE;
}

}  // namespace

CWin32ScanFileSystem::CWin32ScanFileSystem(HWND owner, HINSTANCE strings)
    : m_owner(owner), m_strings(strings)
{
}

ScanFileSystem::Search CWin32ScanFileSystem::FindFirst(const std::string& pattern, FindEntry& entry)
{
    // The wide search: an ANSI one gives best-fit look-alikes of names
    // ("Ωx.lnk" as "Ox.lnk", the name of another file).
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(Widen(pattern, CP_ACP).c_str(), &data);
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
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(static_cast<HANDLE>(search), &data))
        return false;
    CopyEntry(data, entry);
    return true;
}

void CWin32ScanFileSystem::FindClose(Search search)
{
    ::FindClose(static_cast<HANDLE>(search));
}

bool CWin32ScanFileSystem::FolderIdentity(const std::string& folder, FolderId& id)
{
    // A folder opens only with backup semantics; no access is asked, so
    // reading its identity needs no right to its contents.
    const HANDLE handle =
        CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
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

void CWin32ScanFileSystem::AddBackslash(std::string& path)
{
    std::vector<char> buffer(path.size() + 2, '\0');
    std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
    PathAddBackslashA(buffer.data());
    path = buffer.data();
}

Presence CWin32ScanFileSystem::LinkTargetPresence(const ShortcutTarget& target)
{
    return TestTarget(target, Accessible);
}

Presence CWin32ScanFileSystem::PifTargetPresence(const ShortcutTarget& target)
{
    return TestTarget(target, FileExists);
}

std::string CWin32ScanFileSystem::Root(const std::string& path)
{
    // As the display filter always did: the path cut to a path's length,
    // stripped to its root.
    char root[kPathBuffer];
    const std::size_t n = std::min(path.size(), kMaxPathLength);
    std::memcpy(root, path.data(), n);
    root[n] = '\0';
    PathStripToRootA(root);
    return root;
}

unsigned CWin32ScanFileSystem::DriveType(const std::string& root)
{
    return GetDriveTypeA(root.c_str());
}

void CWin32ScanFileSystem::ResolveShortcut(const std::string& shortcutPath, ShortcutTarget& target)
{
    target = ShortcutTarget();
    COpenShortcut shortcut;
    if (FAILED(OpenShortcut(m_owner, shortcutPath.c_str(), shortcut)))
        return;
    char text[kPathBuffer];
    WIN32_FIND_DATAA findData = {};
    ReadTarget(shortcut, &findData, text);
    target.text = text;
    if (!target.text.empty())
        ExactUtf8(ReadWideTarget(shortcut.Link()), target.exact);
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
