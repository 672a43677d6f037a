#include "WideScanFileSystem.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "cli/suggest/LinkEvidence.h"
#include "scan/FileByteSource.h"
#include "scan/LinkStructure.h"
#include "scan/ShortcutReader.h"
#include "scan/StoredStrings.h"
#include "scan/Win32Presence.h"
#include "scan/Win32Text.h"
#include "scan/WinPath.h"
#include "KindReaders.h"
#include "SystemPath.h"

namespace cli {

using scan::Narrow;
using scan::Widen;

namespace {

// The system's limit for a path, terminator included.
constexpr std::size_t kLongestPath = 32767;

// The plain form where it reads the same as the "\\?\" one: the installer,
// asked about an advertised shortcut, is given the path as users see it.
bool PlainIsExact(const std::wstring& path)
{
    if (path.size() >= MAX_PATH || !IsExactFullPath(path))
        return false;
    // Plain paths lose a trailing dot or space of every part.
    for (std::size_t i = 0; i < path.size(); ++i)
        if ((path[i] == L'.' || path[i] == L' ') && (i + 1 == path.size() || path[i + 1] == L'\\'))
            return false;
    return true;
}

// A readable shortcut without a file target: an advertised one, or one to
// a shell item.
MissingReason ReasonOfOpen(IUnknown* link)
{
    IShellLinkDataList* data = nullptr;
    DWORD flags = 0;
    if (SUCCEEDED(link->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data)))) {
        if (FAILED(data->GetFlags(&flags)))
            flags = 0;
        data->Release();
    }
    return (flags & SLDF_HAS_DARWINID) ? MissingReason::InstallerManaged : MissingReason::NoFileTarget;
}

// A link loaded from memory does not know its own folder, so a shortcut
// that stores only a relative path gives no target: it is found as the
// shell finds it after loading the file (beside the shortcut, in its working
// folder, a bare name on the search path). Where none is there the target is
// the one beside the shortcut, which is what the shortcut starts.
std::string RelativeTarget(const std::string& bytes, const std::string& shortcutPath)
{
    scan::MemoryByteSource source(bytes.data(), bytes.size());
    scan::StoredStrings strings;
    if (!scan::ReadStoredStrings(source, strings) || strings.relativePath.empty())
        return std::string();
    const std::string beside = scan::JoinRelative(scan::ParentOf(shortcutPath), strings.relativePath);
    const auto exists = [](const std::string& path) {
        return !path.empty() && ::GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    if (exists(beside))
        return beside;
    const std::string inWorkingFolder = strings.workingDir.empty()
                                            ? std::string()
                                            : scan::JoinRelative(strings.workingDir, strings.relativePath);
    if (exists(inWorkingFolder))
        return inWorkingFolder;
    if (strings.relativePath.find_first_of("\\/:") == std::string::npos) {
        std::wstring found(MAX_PATH, L'\0');
        const DWORD n = ::SearchPathW(NULL, Widen(strings.relativePath, CP_UTF8).c_str(), NULL,
                                      static_cast<DWORD>(found.size()), &found[0], NULL);
        if (n > 0 && n < found.size())
            return Narrow(found.substr(0, n), CP_UTF8);
    }
    return beside;
}

// "Not there" on a share proves the file missing only where the share
// itself answers.
scan::Presence SharePresence(const std::string& networkPath)
{
    const scan::Presence onShare = scan::AttributesPresence(SystemPath(networkPath), true);
    if (!onShare.ProvenMissing())
        return onShare;
    const std::size_t server = networkPath.find('\\', 2);
    const std::size_t share = server == std::string::npos ? server : networkPath.find('\\', server + 1);
    const std::string root = networkPath.substr(0, share) + "\\";
    if (scan::AttributesPresence(SystemPath(root)).verdict != scan::Verdict::Present)
        return scan::Presence{scan::Verdict::Unverified, "the share " + root + " cannot be reached"};
    return onShare;
}

// From the checked bytes; from the file only for a shortcut too large to
// load from memory.
std::string StoredTarget(const std::string& bytes, const std::wstring& openPath)
{
    std::u16string stored;
    bool found = false;
    if (!bytes.empty()) {
        scan::MemoryByteSource source(bytes.data(), bytes.size());
        found = scan::StoredEnvironmentTarget(source, stored);
    } else {
        scan::CFileByteSource file(openPath.c_str());
        found = scan::StoredEnvironmentTarget(file, stored);
    }
    return found ? Narrow(std::wstring(stored.begin(), stored.end()), CP_UTF8) : std::string();
}

// The checked bytes a row keeps for later steps (evidence, the digest, a
// repair); a larger shortcut is kept by its digest alone.
constexpr std::size_t kLargestKept = 64 * 1024;

}  // namespace

void CReadContext::Note(const std::string& shortcutPath, MissingReason reason)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_reasons[shortcutPath] = reason;
}

bool CReadContext::Take(const std::string& shortcutPath, MissingReason& reason)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_reasons.find(shortcutPath);
    if (found == m_reasons.end())
        return false;
    reason = found->second;
    m_reasons.erase(found);
    return true;
}

CWideScanFileSystem::CWideScanFileSystem(CReadContext* context) : m_context(context) {}

CWideScanFileSystem::~CWideScanFileSystem()
{
    ReleaseLinkMaker();
}

void CWideScanFileSystem::ReleaseLinkMaker()
{
    if (m_linkMaker)
        m_linkMaker->Release();
    m_linkMaker = nullptr;
}

bool CWideScanFileSystem::Fits(const std::string& path)
{
    // A UTF-8 text never has fewer bytes than UTF-16 units: most paths need
    // no conversion to tell.
    if (path.size() + 16 < kLongestPath && path.size() >= 2 && (path[1] == ':' || path[0] == '\\'))
        return true;
    return SystemPath(path).size() < kLongestPath;
}

scan::ScanFileSystem::Search CWideScanFileSystem::FindFirst(const std::string& pattern, scan::FindEntry& entry)
{
    WIN32_FIND_DATAW data;
    const HANDLE search = ::FindFirstFileExW(SystemPath(pattern).c_str(), FindExInfoBasic, &data,
                                             FindExSearchNameMatch, NULL, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        m_searchFailed = error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES;
        return nullptr;
    }
    m_searchFailed = false;
    entry.attributes = data.dwFileAttributes;
    entry.exact = scan::ExactUtf8(data.cFileName, entry.name);
    if (!entry.exact)
        entry.name = Narrow(data.cFileName, CP_UTF8);  // for naming it only
    return search;
}

bool CWideScanFileSystem::FindNext(Search search, scan::FindEntry& entry)
{
    WIN32_FIND_DATAW data;
    if (!::FindNextFileW(static_cast<HANDLE>(search), &data))
        return false;
    entry.attributes = data.dwFileAttributes;
    entry.exact = scan::ExactUtf8(data.cFileName, entry.name);
    if (!entry.exact)
        entry.name = Narrow(data.cFileName, CP_UTF8);
    return true;
}

void CWideScanFileSystem::FindClose(Search search)
{
    ::FindClose(static_cast<HANDLE>(search));
}

bool CWideScanFileSystem::FolderIdentity(const std::string& folder, scan::FolderId& id)
{
    const HANDLE handle = ::CreateFileW(SystemPath(folder).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = ::GetFileInformationByHandle(handle, &info);
    ::CloseHandle(handle);
    if (!ok)
        return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

void CWideScanFileSystem::AddBackslash(std::string& path)
{
    if (!path.empty() && path.back() != '\\')
        path += '\\';
}

scan::Presence CWideScanFileSystem::LinkTargetPresence(const scan::ShortcutTarget& target)
{
    // The text is the name the shortcut holds: an expansion of ours that
    // gives a name no file may have is refused when the shortcut is read.
    const scan::Presence presence = scan::AttributesPresence(SystemPath(target.text), true);
    if (!presence.ProvenMissing() || target.networkPath.empty())
        return presence;
    // A drive the share was mapped to may be absent in this session (a
    // service's, another user's): the share itself answers.
    return SharePresence(target.networkPath);
}

scan::Presence CWideScanFileSystem::PifTargetPresence(const scan::ShortcutTarget& target)
{
    return LinkTargetPresence(target);
}

std::string CWideScanFileSystem::Root(const std::string& path)
{
    std::wstring root = Widen(path, CP_UTF8);
    if (root.size() >= MAX_PATH)
        root.resize(MAX_PATH - 1);  // the root lies in the first part
    root.push_back(L'\0');
    ::PathStripToRootW(&root[0]);
    return Narrow(root.c_str(), CP_UTF8);
}

unsigned CWideScanFileSystem::DriveType(const std::string& root)
{
    return ::GetDriveTypeW(Widen(root, CP_UTF8).c_str());
}

void CWideScanFileSystem::ResolveShortcut(const std::string& shortcutPath, scan::ShortcutTarget& target)
{
    target = scan::ShortcutTarget();
    if (!m_linkMakerAsked) {
        // Without it every shortcut is made by CoCreateInstance.
        m_linkMakerAsked = true;
        if (FAILED(::CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, NULL, IID_IClassFactory,
                                      reinterpret_cast<void**>(&m_linkMaker))))
            m_linkMaker = nullptr;
    }
    const std::wstring exact = SystemPath(shortcutPath);
    const std::wstring plain = Widen(shortcutPath, CP_UTF8);
    const std::wstring& openPath = PlainIsExact(plain) ? plain : exact;
    const ShortcutKind kind = ShortcutKindOfName(shortcutPath);
    if (kind == ShortcutKind::Url || kind == ShortcutKind::AppRef) {
        const MissingReason why = ReadTextShortcut(kind, exact, m_context ? m_context->Profile() : nullptr, target);
        if (why != MissingReason::None && m_context)
            m_context->Note(shortcutPath, why);
        return;
    }
    scan::COpenWideShortcut shortcut;
    std::string content;
    const HRESULT opened = scan::OpenWideShortcut(NULL, openPath, shortcutPath, shortcut, m_linkMaker, &content);
    if (!content.empty())
        target.digest = scan::Digest(content);
    if (FAILED(opened)) {
        if (m_context)
            m_context->Note(shortcutPath, MissingReason::Unreadable);
        return;
    }
    std::wstring wide = scan::ReadWideTarget(shortcut.Link());
    if (wide.empty() && !content.empty())
        wide = Widen(RelativeTarget(content, shortcutPath), CP_UTF8);
    if (!content.empty()) {
        scan::MemoryByteSource source(content.data(), content.size());
        RecordedVolume volume;
        if (ReadRecordedVolume(source, volume)) {
            target.recordedDrive = volume.driveType;
            target.networkPath = SharePath(volume, Narrow(wide, CP_UTF8));
        }
    }
    // Another user's target stored as "%LOCALAPPDATA%\...": the shell would
    // expand it with this process's values, looking in the wrong profile.
    const CReadContext::Expander* expander = m_context ? &m_context->GetExpander() : nullptr;
    const std::string stored = expander && *expander ? StoredTarget(content, exact) : std::string();
    if (content.size() <= kLargestKept)
        target.bytes = std::move(content);  // passed the check: what later steps read
    if (!stored.empty()) {
        std::string problem;
        if (!(*expander)(stored, target.text, problem)) {
            target.text = stored;
            target.unverifiable = problem;
        } else if (scan::NameCannotExist(target.text) && !scan::NameCannotExist(stored)) {
            target.unverifiable = "a variable gave the target's name a character no name may hold";
        }
        return;
    }
    if (!scan::ExactUtf8(wide, target.text)) {
        target.text = Narrow(wide, CP_UTF8);
        target.unverifiable = "the target's name is not valid Unicode";
    } else if (scan::HoldsCodePageFallback(target.text)) {
        target.unverifiable = "the shell gave the target's name only as a code-page copy (with '?')";
    }
    if (target.text.empty() && m_context) {
        MissingReason why = ReasonOfOpen(shortcut.Link());
        // The installer says whether an advertised shortcut's product is there.
        if (why == MissingReason::InstallerManaged)
            why = JudgeAdvertised(openPath, m_context->Profile(), target);
        if (why != MissingReason::None)
            m_context->Note(shortcutPath, why);
    }
}

std::string CWideScanFileSystem::LoadText(unsigned id)
{
    const wchar_t* text = nullptr;
    // With no buffer, LoadStringW gives the resource's own text and length.
    const int n = ::LoadStringW(::GetModuleHandleW(NULL), id, reinterpret_cast<wchar_t*>(&text), 0);
    return n > 0 && text ? Narrow(std::wstring(text, static_cast<std::size_t>(n)), CP_UTF8) : std::string();
}

MissingReason ReadWhyNoTarget(const std::string& shortcutPath)
{
    scan::COpenWideShortcut shortcut;
    if (FAILED(scan::OpenWideShortcut(NULL, SystemPath(shortcutPath), shortcutPath, shortcut)))
        return MissingReason::Unreadable;
    return ReasonOfOpen(shortcut.Link());
}

}  // namespace cli
