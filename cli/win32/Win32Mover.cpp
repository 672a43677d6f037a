#include "Win32Mover.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "FolderWalk.h"
#include "Scoped.h"
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

using Handle = ScopedHandle;
using Search = ScopedFind;

Search FindFirst(const std::wstring& folder, WIN32_FIND_DATAW& found)
{
    return OwnFind(::FindFirstFileW((folder + L"\\*").c_str(), &found));
}

// Everything left in the file from the handle's position, stopping once
// past limit; false on a failed read.
bool ReadAll(HANDLE file, std::string& bytes, std::size_t limit = static_cast<std::size_t>(-1))
{
    char buffer[64 * 1024];
    DWORD got = 0;
    for (;;) {
        if (!::ReadFile(file, buffer, sizeof buffer, &got, NULL))
            return false;
        if (got == 0 || bytes.size() > limit)
            return true;
        bytes.append(buffer, got);
    }
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

// The folder of path below root, held open in walk, and path's own name.
Mover::Moved CWin32Mover::WalkTo(const std::string& root, const std::string& path, bool make, CFolderWalk& walk,
                                 std::wstring& name)
{
    std::vector<std::wstring> parts;
    if (!PartsBelow(root, path, parts) || parts.empty()) {
        m_error = ERROR_BAD_PATHNAME;
        m_stoppedAt = path;
        return Moved::Failed;
    }
    name = parts.back();
    parts.pop_back();
    switch (walk.Open(root, parts, make)) {
    case Step::Opened:
    case Step::Made:
        return Moved::Yes;
    case Step::Link:
        m_stoppedAt = walk.StoppedAt();
        return Moved::Link;
    case Step::Absent:
    case Step::Failed:
        break;
    }
    m_error = walk.Error() == ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : walk.Error();
    m_stoppedAt = walk.StoppedAt();
    return Moved::Failed;
}

Mover::Moved CWin32Mover::OpenFile(const std::string& root, const std::string& path, ACCESS_MASK access,
                                   CFolderWalk& walk, Handle& file)
{
    std::wstring name;
    const Moved way = WalkTo(root, path, false, walk, name);
    if (way != Moved::Yes)
        return way;
    switch (OpenBelow(walk.Folder(), name, false, false, access, FILE_SHARE_READ, file, m_error)) {
    case Step::Opened:
    case Step::Made:
        return Moved::Yes;
    case Step::Link:
        m_stoppedAt = path;
        return Moved::Link;
    case Step::Absent:
    case Step::Failed:
        break;
    }
    return Moved::Failed;
}

Mover::Moved CWin32Mover::Move(const std::string& fromRoot, const std::string& from, const std::string& toRoot,
                               const std::string& to, const std::string& digest, Transfer how)
{
    // The file is read, and then moved, through the handle that checked it.
    CFolderWalk source(m_pins), destination(m_pins);
    Handle file;
    const Moved opened = OpenFile(fromRoot, from, GENERIC_READ | DELETE, source, file);
    if (opened != Moved::Yes)
        return opened;
    std::string bytes;
    if (!ReadAll(file.get(), bytes)) {
        Fail();
        return Moved::Failed;
    }
    if (!digest.empty() && !scan::SameDigest(bytes, digest))
        return Moved::Changed;
    std::wstring name;
    const Moved way = WalkTo(toRoot, to, true, destination, name);
    if (way != Moved::Yes)
        return way;

    if (how == Transfer::Rename) {
        const std::wstring leaf = scan::Widen(from.substr(from.rfind('\\') + 1), CP_UTF8);
        if (RenameInto(file.get(), destination.Folder(), name, m_error)) {
            // Wine renames by the paths the handles were opened with: a
            // folder swapped for a link meanwhile makes it move another file,
            // and ours is still in the folder held. That one goes back where
            // it came from. (Windows renames the file of the handle.)
            Handle stayed, stranger;
            DWORD ignored = 0;
            if (OpenBelow(source.Folder(), leaf, false, false, FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, stayed, ignored) == Step::Absent)
                return Moved::Yes;
            if (OpenBelow(destination.Folder(), name, false, false, DELETE, FILE_SHARE_READ, stranger, ignored) ==
                Step::Opened)
                RenameInto(stranger.get(), source.Folder(), leaf, ignored);
            m_stoppedAt = ParentOf(from);
            m_error = ERROR_CANT_ACCESS_FILE;
            return Moved::Link;
        }
        if (m_error == ERROR_ALREADY_EXISTS)
            return Moved::Taken;
        if (m_error != ERROR_NOT_SAME_DEVICE)
            return Moved::Failed;
        // Across volumes: a copy, then the original removed.
    }

    Handle copy;
    if (CreateBelow(destination.Folder(), name, copy, m_error) != Step::Made)
        return m_error == ERROR_ALREADY_EXISTS ? Moved::Taken : Moved::Failed;
    FILETIME created, accessed, written;
    BY_HANDLE_FILE_INFORMATION info = {};
    DWORD ignored = 0;
    if (!WriteAll(copy.get(), bytes) || !::GetFileTime(file.get(), &created, &accessed, &written) ||
        !::SetFileTime(copy.get(), &created, &accessed, &written) ||
        !::GetFileInformationByHandle(file.get(), &info)) {
        Fail();
        DeleteOnClose(copy.get(), true, ignored);
        return Moved::Failed;
    }
    // The attributes last: a read-only copy could not have been written.
    const DWORD kept = info.dwFileAttributes &
                       (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (kept)
        SetAttributes(copy.get(), kept);
    // The original goes once its copy is on the disk: flushed a batch at a
    // time, since one flush commits the file system's journal for all of them.
    m_pending.push_back({std::move(copy), std::move(file)});
    constexpr std::size_t kBatch = 64;
    if (m_pending.size() >= kBatch && !Settle())
        return Moved::Failed;
    return Moved::Yes;
}

bool CWin32Mover::Settle()
{
    bool settled = true;
    for (Copied& copied : m_pending) {
        // A copy not on the disk keeps its original; both stay, and the next
        // restore names the place taken.
        if (!::FlushFileBuffers(copied.copy.get()) ||
            (copied.original && !DeleteOnClose(copied.original.get(), true, m_error))) {
            if (settled)
                Fail();
            settled = false;
        }
    }
    m_pending.clear();
    return settled;
}

Mover::Moved CWin32Mover::RewriteIfSame(const std::string& root, const std::string& path, const std::string& digest,
                                        const std::string& bytes)
{
    CFolderWalk walk(m_pins);
    Handle file;
    const Moved opened = OpenFile(root, path, GENERIC_READ | GENERIC_WRITE, walk, file);
    if (opened != Moved::Yes)
        return opened;
    std::string now;
    if (!ReadAll(file.get(), now)) {
        Fail();
        return Moved::Failed;
    }
    if (!scan::SameDigest(now, digest))
        return Moved::Changed;
    if (::SetFilePointer(file.get(), 0, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !WriteAll(file.get(), bytes) ||
        !::SetEndOfFile(file.get()) || !::FlushFileBuffers(file.get())) {
        Fail();
        return Moved::Failed;
    }
    return Moved::Yes;
}

Mover::Moved CWin32Mover::WriteNew(const std::string& root, const std::string& path, const std::string& bytes,
                                   Flush flush)
{
    CFolderWalk walk(m_pins);
    std::wstring name;
    const Moved way = WalkTo(root, path, true, walk, name);
    if (way != Moved::Yes)
        return way;
    Handle file;
    if (CreateBelow(walk.Folder(), name, file, m_error) != Step::Made)
        return m_error == ERROR_ALREADY_EXISTS ? Moved::Taken : Moved::Failed;
    const bool written = WriteAll(file.get(), bytes);
    if (written && flush == Flush::Batch) {
        m_pending.push_back({std::move(file), ScopedHandle()});
        constexpr std::size_t kBatch = 64;
        return m_pending.size() < kBatch || Settle() ? Moved::Yes : Moved::Failed;
    }
    if (written && ::FlushFileBuffers(file.get()))
        return Moved::Yes;
    Fail();
    DWORD ignored = 0;
    DeleteOnClose(file.get(), true, ignored);
    return Moved::Failed;
}

Mover::Moved CWin32Mover::RemoveIfSame(const std::string& root, const std::string& path, const std::string& digest)
{
    CFolderWalk walk(m_pins);
    Handle file;
    const Moved opened = OpenFile(root, path, GENERIC_READ | DELETE, walk, file);
    if (opened != Moved::Yes)
        return opened;
    std::string bytes;
    if (!digest.empty() && (!ReadAll(file.get(), bytes) || !scan::SameDigest(bytes, digest)))
        return Moved::Changed;
    return DeleteOnClose(file.get(), true, m_error) ? Moved::Yes : Moved::Failed;
}

Mover::Read CWin32Mover::ReadBelow(const std::string& root, const std::string& path, std::size_t limit,
                                   std::string& bytes)
{
    bytes.clear();
    CFolderWalk walk(m_pins);
    Handle file;
    switch (OpenFile(root, path, GENERIC_READ, walk, file)) {
    case Moved::Yes:
        break;
    case Moved::Link:
        return Read::Link;
    default:
        return m_error == ERROR_FILE_NOT_FOUND || m_error == ERROR_PATH_NOT_FOUND ? Read::Absent : Read::Failed;
    }
    // Its size first: a file too large is never read at all.
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size)) {
        Fail();
        return Read::Failed;
    }
    if (static_cast<ULONGLONG>(size.QuadPart) > limit)
        return Read::TooLarge;
    bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    if (!ReadAll(file.get(), bytes, limit)) {
        Fail();
        return Read::Failed;
    }
    return bytes.size() > limit ? Read::TooLarge : Read::Done;
}

std::string CWin32Mover::StoppedAt()
{
    return m_stoppedAt;
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
    m_pins.Release();  // a folder held open cannot go
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
    Settle();
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
    m_pins.Release();
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
