#include "Win32Mover.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "SystemPath.h"
#include "WholeFile.h"
#include "cli/quarantine/QuarantineLayout.h"
#include "scan/LinkStructure.h"
#include "scan/Win32Text.h"

namespace cli {

using scan::Narrow;
using scan::Widen;

namespace {

// The wide "\\?\" form of a plain full UTF-8 path.
std::wstring Long(const std::string& plain)
{
    return Widen(LongForm(plain), CP_UTF8);
}

struct HandleClose {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleClose>;

Handle OwnHandle(HANDLE handle)
{
    return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct SearchClose {
    void operator()(HANDLE search) const { ::FindClose(search); }
};
using Search = std::unique_ptr<void, SearchClose>;

Search FindFirst(const std::wstring& folder, WIN32_FIND_DATAW& found)
{
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    return Search(search == INVALID_HANDLE_VALUE ? nullptr : search);
}

// Everything left in the file from the handle's position; false on a
// failed read.
bool ReadAll(HANDLE file, std::string& bytes)
{
    char buffer[64 * 1024];
    DWORD got = 0;
    for (;;) {
        if (!::ReadFile(file, buffer, sizeof buffer, &got, NULL))
            return false;
        if (got == 0)
            return true;
        bytes.append(buffer, got);
    }
}

// Opens path for access through a handle that lets others read but neither
// write, rename nor delete the file meanwhile, and reads it: Yes when its
// bytes give digest, Changed when not, Failed (the system's error left for
// the caller) when it cannot be opened.
Mover::Moved OpenIfSame(const std::wstring& path, DWORD access, const std::string& digest, Handle& file)
{
    file = OwnHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, NULL));
    if (!file)
        return Mover::Moved::Failed;
    std::string bytes;
    return ReadAll(file.get(), bytes) && scan::Digest(bytes) == digest ? Mover::Moved::Yes : Mover::Moved::Changed;
}

bool IsDots(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

std::string CWin32Mover::FullPath(const std::string& path)
{
    // An exact full path stays as it is: the system's full path of it would
    // drop a trailing dot or space and name another file.
    const std::wstring wide = Widen(path, CP_UTF8);
    return wide.empty() ? std::string() : Narrow(cli::FullPath(wide), CP_UTF8);
}

bool CWin32Mover::Exists(const std::string& path)
{
    return ::GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CWin32Mover::IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Long(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CWin32Mover::MakeFolders(const std::string& folder)
{
    // Most calls find every folder above made already: try the folder first.
    if (::CreateDirectoryW(Long(folder).c_str(), NULL))
        return true;
    DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && IsFolder(folder))
        return true;
    if (error == ERROR_PATH_NOT_FOUND) {
        const std::string parent = ParentOf(folder);
        if (parent.empty() || parent == folder) {
            m_error = error;
            return false;
        }
        if (!MakeFolders(parent))
            return false;
        if (::CreateDirectoryW(Long(folder).c_str(), NULL))
            return true;
        error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS && IsFolder(folder))
            return true;
    }
    m_error = error;
    return false;
}

Mover::Moved CWin32Mover::Move(const std::string& from, const std::string& to)
{
    const std::wstring source = Long(from), destination = Long(to);
    // Without MOVEFILE_REPLACE_EXISTING the system itself refuses a taken
    // place, so no file that appears meanwhile is written over.
    if (::MoveFileExW(source.c_str(), destination.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
        return Moved::Yes;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        m_error = error;
        return Moved::Taken;
    }
    // Across volumes the move is a copy and a delete: when the original
    // could not be deleted, the copy goes, and the file is where it was.
    if (::GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES &&
        ::GetFileAttributesW(destination.c_str()) != INVALID_FILE_ATTRIBUTES)
        ::DeleteFileW(destination.c_str());
    m_error = error;
    return Moved::Failed;
}

Mover::Moved CWin32Mover::MoveIfSame(const std::string& from, const std::string& to, const std::string& digest)
{
    // Read, then renamed, through this handle.
    Handle file;
    const Moved same = OpenIfSame(Long(from), GENERIC_READ | DELETE, digest, file);
    if (same == Moved::Failed)
        Fail();
    if (same != Moved::Yes)
        return same;

    // SetFileInformationByHandle (Vista and later) with FileRenameInfo.
    using SetInfoFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    static const auto setInfo = reinterpret_cast<SetInfoFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle")));
    const std::wstring destination = Long(to);
    if (setInfo) {
        struct RenameInfo {
            DWORD replaceIfExists;  // a BOOLEAN, padded
            HANDLE rootDirectory;
            DWORD fileNameLength;   // bytes
            WCHAR fileName[1];
        };
        std::vector<char> info(sizeof(RenameInfo) + destination.size() * sizeof(WCHAR), 0);
        auto* rename = reinterpret_cast<RenameInfo*>(info.data());
        rename->fileNameLength = static_cast<DWORD>(destination.size() * sizeof(WCHAR));
        std::copy(destination.begin(), destination.end(), rename->fileName);
        constexpr int kFileRenameInfo = 3;
        if (setInfo(file.get(), kFileRenameInfo, rename, static_cast<DWORD>(info.size())))
            return Moved::Yes;
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            m_error = error;
            return Moved::Taken;
        }
        if (error != ERROR_NOT_SAME_DEVICE && error != ERROR_CALL_NOT_IMPLEMENTED && error != ERROR_INVALID_PARAMETER) {
            m_error = error;
            return Moved::Failed;
        }
    }
    // Across volumes (a copy and a delete) or on Windows XP: by path, and
    // the bytes that arrived compared; a file swapped in between goes back.
    file.reset();
    const Moved moved = Move(from, to);
    std::string arrived;
    if (moved != Moved::Yes || (ReadFile(to, arrived) == Read::Done && scan::Digest(arrived) == digest))
        return moved;
    Move(to, from);
    return Moved::Changed;
}

Mover::Moved CWin32Mover::RewriteIfSame(const std::string& path, const std::string& digest, const std::string& bytes)
{
    Handle file;
    const Moved same = OpenIfSame(Long(path), GENERIC_READ | GENERIC_WRITE, digest, file);
    if (same == Moved::Failed)
        Fail();
    if (same != Moved::Yes)
        return same;
    DWORD written = 0;
    if (::SetFilePointer(file.get(), 0, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL) ||
        written != bytes.size() || !::SetEndOfFile(file.get()) || !::FlushFileBuffers(file.get())) {
        Fail();
        return Moved::Failed;
    }
    return Moved::Yes;
}

void CWin32Mover::ListFiles(const std::string& folder, std::vector<std::string>& files,
                            std::vector<std::string>& skipped)
{
    files.clear();
    skipped.clear();
    List(Long(folder), std::string(), files, skipped);
}

void CWin32Mover::List(const std::wstring& folder, const std::string& relative, std::vector<std::string>& files,
                       std::vector<std::string>& skipped)
{
    WIN32_FIND_DATAW found;
    const Search search = FindFirst(folder, found);
    if (!search) {
        if (!relative.empty())
            skipped.push_back(relative);
        return;
    }
    std::vector<std::wstring> folders;
    do {
        if (IsDots(found.cFileName))
            continue;
        const std::string name = relative + (relative.empty() ? "" : "\\") + Narrow(found.cFileName, CP_UTF8);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(name);
        else if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            skipped.push_back(name);  // a link to elsewhere: what it holds was never ours
        else
            folders.push_back(found.cFileName);
    } while (::FindNextFileW(search.get(), &found));
    for (const std::wstring& sub : folders)
        List(folder + L"\\" + sub, relative + (relative.empty() ? "" : "\\") + Narrow(sub, CP_UTF8), files,
             skipped);
}

void CWin32Mover::RemoveEmptyFolders(const std::string& folder)
{
    struct Walk {
        static void Below(const std::wstring& path)
        {
            WIN32_FIND_DATAW found;
            std::vector<std::wstring> folders;
            {
                const Search search = FindFirst(path, found);
                if (!search)
                    return;
                do {
                    if (!IsDots(found.cFileName) && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                        !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                        folders.push_back(path + L"\\" + found.cFileName);
                } while (::FindNextFileW(search.get(), &found));
            }
            for (const std::wstring& sub : folders) {
                Below(sub);
                ::RemoveDirectoryW(sub.c_str());  // fails, as it should, while anything is left in it
            }
        }
    };
    Walk::Below(Long(folder));
}

Mover::Read CWin32Mover::ReadFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    const Handle file = OwnHandle(::CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Read::Absent;
        m_error = error;
        return Read::Failed;
    }
    if (ReadAll(file.get(), bytes))
        return Read::Done;
    Fail();
    return Read::Failed;
}

bool CWin32Mover::ReplaceFile(const std::string& path, const std::string& bytes)
{
    return WriteWholeFile(Long(path), bytes, m_error);
}

CWin32Mover::~CWin32Mover()
{
    if (m_journal != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_journal);
    if (m_lock != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_lock);
}

std::string CWin32Mover::LinkBelow(const std::string& root, const std::string& path)
{
    if (!IsWithin(path, root))
        return path;
    std::size_t at = root.size();
    while (at < path.size()) {
        const std::size_t next = path.find('\\', at + 1);
        const std::string part = path.substr(0, next == std::string::npos ? path.size() : next);
        const DWORD attributes = ::GetFileAttributesW(Long(part).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = ::GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? std::string() : part;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return part;
        if (next == std::string::npos)
            break;
        at = next;
    }
    return std::string();
}

bool CWin32Mover::Lock(const std::string& path)
{
    // No sharing at all, and the link itself if one was put there: a second
    // run's open fails with a sharing violation.
    const HANDLE lock = ::CreateFileW(Long(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, NULL, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE,
                                      NULL);
    if (lock == INVALID_HANDLE_VALUE)
        return Fail();
    m_lock = lock;
    return true;
}

bool CWin32Mover::Append(const std::string& path, const std::string& text)
{
    if (m_journal == INVALID_HANDLE_VALUE || path != m_journalPath) {
        if (m_journal != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_journal);
        m_journalPath = path;
        m_journal = ::CreateFileW(Long(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (m_journal == INVALID_HANDLE_VALUE)
            return Fail();
        // Opened, it must be a plain file of its own: never a link to one.
        BY_HANDLE_FILE_INFORMATION info = {};
        if (!::GetFileInformationByHandle(m_journal, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            ::CloseHandle(m_journal);
            m_journal = INVALID_HANDLE_VALUE;
            m_error = ERROR_CANT_ACCESS_FILE;
            return false;
        }
    }
    DWORD written = 0;
    if (!::WriteFile(m_journal, text.data(), static_cast<DWORD>(text.size()), &written, NULL) ||
        written != text.size())
        return Fail();
    return true;
}

bool CWin32Mover::Remove(const std::string& path)
{
    if (path == m_journalPath && m_journal != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_journal);
        m_journal = INVALID_HANDLE_VALUE;
    }
    return ::DeleteFileW(Long(path).c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND || Fail();
}

void CWin32Mover::RemoveFolder(const std::string& folder)
{
    ::RemoveDirectoryW(Long(folder).c_str());
}

bool CWin32Mover::Fail()
{
    m_error = ::GetLastError();
    return false;
}

std::string CWin32Mover::LastError()
{
    return scan::ErrorText(m_error);
}

std::string CWin32Mover::UtcTime()
{
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    return text;
}

std::string CWin32Mover::ComputerName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &n) ? Narrow(std::wstring(name, n), CP_UTF8) : std::string();
}

}  // namespace cli
