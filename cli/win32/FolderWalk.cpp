#include "FolderWalk.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>

#include "cli/quarantine/QuarantineLayout.h"
#include "scan/PathText.h"
#include "scan/Win32Text.h"

namespace cli {

namespace {

using CreateFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                  ULONG, ULONG, ULONG, PVOID, ULONG);
using SetInformationFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using QueryDirectoryFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                          FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);
using ToWin32ErrorFn = ULONG(NTAPI*)(NTSTATUS);
using QueryInformationFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);

struct Nt {
    CreateFn create = nullptr;
    SetInformationFn setInformation = nullptr;
    QueryDirectoryFn queryDirectory = nullptr;
    ToWin32ErrorFn toWin32Error = nullptr;
    QueryInformationFn queryInformation = nullptr;

    Nt()
    {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        const auto find = [ntdll](const char* name) {
            return ntdll ? reinterpret_cast<void*>(::GetProcAddress(ntdll, name)) : nullptr;
        };
        create = reinterpret_cast<CreateFn>(find("NtCreateFile"));
        setInformation = reinterpret_cast<SetInformationFn>(find("NtSetInformationFile"));
        queryDirectory = reinterpret_cast<QueryDirectoryFn>(find("NtQueryDirectoryFile"));
        toWin32Error = reinterpret_cast<ToWin32ErrorFn>(find("RtlNtStatusToDosError"));
        queryInformation = reinterpret_cast<QueryInformationFn>(find("NtQueryInformationFile"));
    }
    bool Usable() const { return create && setInformation && queryDirectory && toWin32Error && queryInformation; }
};

const Nt& NtCalls()
{
    static const Nt calls;
    return calls;
}

constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103);
constexpr NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr ULONG kFileCreated = 2;
// FILE_INFORMATION_CLASS values winternl.h leaves out.
constexpr auto kRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
constexpr auto kDispositionInformation = static_cast<FILE_INFORMATION_CLASS>(13);
constexpr auto kBasicInformation = static_cast<FILE_INFORMATION_CLASS>(4);
constexpr auto kIdBothDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(37);
constexpr auto kAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);

UNICODE_STRING Counted(const std::wstring& text)
{
    UNICODE_STRING counted;
    counted.Buffer = const_cast<PWSTR>(text.c_str());
    counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    counted.MaximumLength = counted.Length;
    return counted;
}

NTSTATUS CreateRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                        ULONG options, ScopedHandle& opened, ULONG_PTR* information)
{
    const Nt& nt = NtCalls();
    UNICODE_STRING counted = Counted(name);
    OBJECT_ATTRIBUTES attributes;
    // Names are compared as Windows does: without regard to case.
    InitializeObjectAttributes(&attributes, &counted, OBJ_CASE_INSENSITIVE, folder, NULL);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = NULL;
    const NTSTATUS status = nt.create(&handle, access | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                                      share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
    opened.reset(NT_SUCCESS(status) ? handle : nullptr);
    if (information)
        *information = io.Information;
    return status;
}

DWORD ErrorOf(NTSTATUS status)
{
    return NtCalls().toWin32Error(status);
}

bool HandleIsLink(HANDLE handle)
{
    struct {
        ULONG attributes;
        ULONG reparseTag;
    } tag = {};
    IO_STATUS_BLOCK io = {};
    if (!NT_SUCCESS(NtCalls().queryInformation(handle, &io, &tag, sizeof tag, kAttributeTagInformation)))
        return true;  // what cannot be told is not trusted
    return (tag.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool FileId(HANDLE handle, ULONGLONG& id)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(handle, &info))
        return false;
    id = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool EntryIs(HANDLE folder, const std::wstring& name, ULONGLONG id)
{
    // A listing handle of its own for this one name.
    ScopedHandle listing;
    if (!NT_SUCCESS(CreateRelative(folder, std::wstring(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   FILE_OPEN, FILE_DIRECTORY_FILE, listing, nullptr)))
        return false;
    alignas(8) unsigned char buffer[sizeof(FILE_ID_BOTH_DIR_INFORMATION) + 2 * MAX_PATH * sizeof(wchar_t)];
    IO_STATUS_BLOCK io = {};
    UNICODE_STRING mask = Counted(name);
    if (!NT_SUCCESS(NtCalls().queryDirectory(listing.get(), NULL, NULL, NULL, &io, buffer, sizeof buffer,
                                             kIdBothDirectoryInformation, TRUE, &mask, TRUE)))
        return false;
    const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(buffer);
    return !(entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           static_cast<ULONGLONG>(entry->FileId.QuadPart) == id;
}

Step OpenBelow(HANDLE folder, const std::wstring& name, bool isFolder, bool make, ACCESS_MASK access, ULONG share,
               ScopedHandle& opened, DWORD& error)
{
    if (!NtCalls().Usable()) {
        error = ERROR_CALL_NOT_IMPLEMENTED;
        return Step::Failed;
    }
    ULONG_PTR information = 0;
    const ULONG options = FILE_OPEN_REPARSE_POINT | (isFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
    const NTSTATUS status = CreateRelative(folder, name, access | FILE_READ_ATTRIBUTES, share,
                                           make ? FILE_OPEN_IF : FILE_OPEN, options, opened, &information);
    if (!NT_SUCCESS(status)) {
        error = ErrorOf(status);
        if (status == kNameNotFound || status == kNoSuchFile || status == kPathNotFound)
            return Step::Absent;
        // A file where a folder should be, or the other way round, is no
        // place of ours either.
        if (status == kNotADirectory || status == kFileIsADirectory)
            return Step::Link;
        return Step::Failed;
    }
    if (make && information == kFileCreated)
        return Step::Made;  // plain, and ours, by construction
    // A file is opened in a folder already checked, so under Wine too it is
    // that folder's own; only Windows can hand back a link to a file.
    ULONGLONG id = 0;
    if (HandleIsLink(opened.get()) || (isFolder && (!FileId(opened.get(), id) || !EntryIs(folder, name, id)))) {
        opened.reset();
        error = ERROR_CANT_ACCESS_FILE;
        return Step::Link;
    }
    return Step::Opened;
}

Step CreateBelow(HANDLE folder, const std::wstring& name, ScopedHandle& created, DWORD& error)
{
    if (!NtCalls().Usable()) {
        error = ERROR_CALL_NOT_IMPLEMENTED;
        return Step::Failed;
    }
    const NTSTATUS status =
        CreateRelative(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, FILE_CREATE,
                       FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, created, nullptr);
    if (NT_SUCCESS(status))
        return Step::Made;
    error = status == kNameCollision ? ERROR_ALREADY_EXISTS : ErrorOf(status);
    return Step::Failed;
}

bool RenameInto(HANDLE file, HANDLE folder, const std::wstring& name, DWORD& error)
{
    // Straight to NtSetInformationFile: SetFileInformationByHandle under
    // Wine turns the name into a full path and then refuses the folder.
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFORMATION) + name.size() * sizeof(wchar_t), 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, name.data(), name.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io = {};
    const NTSTATUS status =
        NtCalls().setInformation(file, &io, rename, static_cast<ULONG>(buffer.size()), kRenameInformation);
    if (NT_SUCCESS(status))
        return true;
    error = status == kNameCollision ? ERROR_ALREADY_EXISTS : ErrorOf(status);
    return false;
}

bool SetAttributes(HANDLE file, DWORD attributes)
{
    // Times of 0 are left as they are.
    struct {
        LARGE_INTEGER created, accessed, written, changed;
        ULONG attributes;
    } basic = {};
    basic.attributes = attributes;
    IO_STATUS_BLOCK io = {};
    return NT_SUCCESS(NtCalls().setInformation(file, &io, &basic, sizeof basic, kBasicInformation));
}

bool DeleteOnClose(HANDLE file, bool remove, DWORD& error)
{
    struct {
        BOOLEAN deleteFile;
    } disposition = {static_cast<BOOLEAN>(remove ? TRUE : FALSE)};
    IO_STATUS_BLOCK io = {};
    const NTSTATUS status =
        NtCalls().setInformation(file, &io, &disposition, sizeof disposition, kDispositionInformation);
    if (NT_SUCCESS(status))
        return true;
    error = ErrorOf(status);
    return false;
}

bool PartsBelow(const std::string& root, const std::string& path, std::vector<std::wstring>& parts)
{
    parts.clear();
    if (!IsWithin(path, root))
        return false;
    std::size_t at = root.size();
    while (at < path.size() && path[at] == '\\')
        ++at;
    while (at < path.size()) {
        const std::size_t end = std::min(path.find('\\', at), path.size());
        if (end == at)
            return false;
        parts.push_back(scan::Widen(path.substr(at, end - at), CP_UTF8));
        at = end + 1;
    }
    return true;
}

Step CPinnedFolders::Walk(const std::string& root, const std::vector<std::wstring>& parts, bool make, HANDLE& folder,
                          std::string& stoppedAt, DWORD& error)
{
    // Listing and passing through is all a folder handle needs: what may be
    // made in it is decided by its rights, not by the handle's.
    constexpr ACCESS_MASK kAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE;
    // No delete sharing: Windows then lets no one rename or remove the
    // folder, nor any folder above it, while it is held.
    constexpr ULONG kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    folder = INVALID_HANDLE_VALUE;
    stoppedAt.clear();
    // Bounded: past it the walks start again from their roots.
    constexpr std::size_t kMostHeld = 4096;
    if (m_held.size() > kMostHeld)
        m_held.clear();
    std::vector<std::string> paths{root};
    for (const std::wstring& part : parts)
        paths.push_back(paths.back() + (paths.back().back() == '\\' ? "" : "\\") + scan::Narrow(part, CP_UTF8));
    // The deepest folder held already; the walk goes on below it.
    std::size_t at = paths.size();
    while (at > 0 && !m_held.count(scan::AsciiLower(paths[at - 1])))
        --at;
    if (at == 0) {
        ScopedHandle top = OwnHandle(::CreateFileW(scan::Widen(LongForm(root), CP_UTF8).c_str(),
                                                   kAccess | FILE_READ_ATTRIBUTES, kShare, NULL, OPEN_EXISTING,
                                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL));
        if (!top) {
            error = ::GetLastError();
            stoppedAt = root;
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Step::Absent : Step::Failed;
        }
        if (HandleIsLink(top.get())) {
            stoppedAt = root;
            return Step::Link;
        }
        Hold(root, std::move(top));
        at = 1;
    }
    Step last = Step::Opened;
    for (; at < paths.size(); ++at) {
        ScopedHandle next;
        const Step step = OpenBelow(m_held[scan::AsciiLower(paths[at - 1])].get(), parts[at - 1], true, make, kAccess,
                                    kShare, next, error);
        if (step != Step::Opened && step != Step::Made) {
            stoppedAt = paths[at];
            return step;
        }
        last = step == Step::Made ? Step::Made : last;
        Hold(paths[at], std::move(next));
    }
    folder = m_held[scan::AsciiLower(paths.back())].get();
    return last;
}

void CPinnedFolders::Hold(const std::string& path, ScopedHandle handle)
{
    m_held[scan::AsciiLower(path)] = std::move(handle);
}

void CPinnedFolders::Release()
{
    m_held.clear();
}

Step CFolderWalk::Open(const std::string& root, const std::vector<std::wstring>& parts, bool make)
{
    return m_pins.Walk(root, parts, make, m_folder, m_stoppedAt, m_error);
}

}  // namespace cli
