#include "Win32ScanHost.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <memory>

#include "Win32Text.h"
#include "scan/PathText.h"
#include "scan/ShortcutReader.h"

namespace cli {

namespace {

const char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char kUserShellFolders[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char* const kShellFolderValues[] = {"Start Menu", "Desktop", "AppData", "Local AppData"};

// An open registry key; closed when it goes.
class CRegistryKey {
public:
    CRegistryKey() = default;
    ~CRegistryKey()
    {
        if (m_key)
            ::RegCloseKey(m_key);
    }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    bool Open(HKEY parent, const std::string& path, REGSAM extra = 0)
    {
        return Try(parent, path, extra) == ERROR_SUCCESS;
    }
    LONG Try(HKEY parent, const std::string& path, REGSAM extra = 0)
    {
        return ::RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | extra, &m_key);
    }
    HKEY Get() const { return m_key; }

    // A string value as stored: REG_EXPAND_SZ keeps its %VARIABLES%.
    bool Text(const char* name, std::string& text, DWORD* type = nullptr) const
    {
        DWORD kind = 0, size = 0;
        if (::RegQueryValueExA(m_key, name, NULL, &kind, NULL, &size) != ERROR_SUCCESS ||
            (kind != REG_SZ && kind != REG_EXPAND_SZ))
            return false;
        std::string data(size + 1, '\0');  // a stored string need not end in a null
        if (::RegQueryValueExA(m_key, name, NULL, &kind, reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS)
            return false;
        data.resize(std::min<std::size_t>(size, data.size()));
        text = data.c_str();
        if (type)
            *type = kind;
        return true;
    }

    // Every string value, names in upper case (variables are named in any case).
    void AllTexts(std::map<std::string, std::string>& texts) const
    {
        char name[16384];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            const LONG result = ::RegEnumValueA(m_key, i, name, &length, NULL, NULL, NULL, NULL);
            if (result == ERROR_NO_MORE_ITEMS)
                return;
            std::string text;
            if (result != ERROR_SUCCESS || !Text(name, text))
                continue;
            texts[scan::AsciiUpper(name)] = text;
        }
    }

private:
    HKEY m_key = NULL;  // we own it
};

// A readable shortcut without a file target: an advertised one, or one to
// a shell item.
MissingReason ReasonOfOpen(const scan::COpenShortcut& shortcut)
{
    IShellLinkDataList* data = nullptr;
    DWORD flags = 0;
    if (SUCCEEDED(shortcut.Link()->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data)))) {
        if (FAILED(data->GetFlags(&flags)))
            flags = 0;
        data->Release();
    }
    return (flags & SLDF_HAS_DARWINID) ? MissingReason::InstallerManaged : MissingReason::NoFileTarget;
}

std::string Expanded(const std::string& text)
{
    const DWORD n = ::ExpandEnvironmentStringsA(text.c_str(), NULL, 0);
    if (n == 0)
        return text;
    std::string out(n, '\0');
    if (::ExpandEnvironmentStringsA(text.c_str(), &out[0], n) == 0)
        return text;
    return out.c_str();
}

std::string ShellFolder(int csidl)
{
    // The folder is never made here: a location that is not there is left out.
    char path[MAX_PATH] = "";
    if (FAILED(::SHGetFolderPathA(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return path;
}

// One profile of ProfileList, with what its loaded registry says.
ProfileRecord ReadProfile(HKEY list, const std::string& sid)
{
    ProfileRecord profile;
    profile.sid = sid;
    CRegistryKey key;
    std::string image;
    if (!key.Open(list, sid) || !key.Text("ProfileImagePath", image) || image.empty()) {
        profile.problem = "no ProfileImagePath in the registry";
        return profile;
    }
    profile.folder = Expanded(image);

    // A loaded registry we may not read could redirect the folders anywhere:
    // the standard places would be a guess.
    CRegistryKey hive, folders;
    const LONG opened = hive.Try(HKEY_USERS, sid);
    const LONG openedFolders = opened == ERROR_SUCCESS ? folders.Try(HKEY_USERS, sid + kUserShellFolders) : opened;
    if (opened == ERROR_ACCESS_DENIED || openedFolders == ERROR_ACCESS_DENIED)
        profile.problem = "its registry is loaded but may not be read here; run as an administrator";
    profile.hiveLoaded = opened == ERROR_SUCCESS;
    if (!profile.hiveLoaded || !profile.problem.empty())
        return profile;
    if (openedFolders == ERROR_SUCCESS) {
        for (const char* name : kShellFolderValues) {
            std::string text;
            if (folders.Text(name, text))
                profile.shellFolders[name] = text;
        }
    }
    // The user's own variables, then those of the logon, as Windows builds
    // a user's environment.
    for (const char* below : {"\\Environment", "\\Volatile Environment"}) {
        CRegistryKey environment;
        if (environment.Open(HKEY_USERS, sid + below))
            environment.AllTexts(profile.environment);
    }
    return profile;
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

std::string CWin32ScanHost::LocationFolder(Location location)
{
    switch (location) {
    case Location::StartMenu:
        return ShellFolder(CSIDL_STARTMENU);
    case Location::CommonStartMenu:
        return ShellFolder(CSIDL_COMMON_STARTMENU);
    case Location::Desktop:
        return ShellFolder(CSIDL_DESKTOPDIRECTORY);
    case Location::CommonDesktop:
        return ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    case Location::QuickLaunch: {
        const std::string appData = ShellFolder(CSIDL_APPDATA);
        return appData.empty() ? appData : appData + kQuickLaunchBelowAppData;
    }
    }
    return std::string();
}

std::string CWin32ScanHost::CurrentProfile()
{
    return ShellFolder(CSIDL_PROFILE);
}

std::vector<ProfileRecord> CWin32ScanHost::Profiles()
{
    std::vector<ProfileRecord> profiles;
    // A 32-bit program on 64-bit Windows reads the one list there is.
    CRegistryKey list;
    if (!list.Open(HKEY_LOCAL_MACHINE, kProfileList, RunsUnderWow64() ? KEY_WOW64_64KEY : 0))
        return profiles;
    char sid[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof sid;
        const LONG result = ::RegEnumKeyExA(list.Get(), i, sid, &length, NULL, NULL, NULL, NULL);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result == ERROR_SUCCESS)
            profiles.push_back(ReadProfile(list.Get(), sid));
    }
    return profiles;
}

bool CWin32ScanHost::MachineVariable(const std::string& name, std::string& value)
{
    const DWORD n = ::GetEnvironmentVariableA(name.c_str(), NULL, 0);
    if (n == 0)
        return false;
    std::string text(n, '\0');
    const DWORD got = ::GetEnvironmentVariableA(name.c_str(), &text[0], n);
    if (got == 0 || got >= n)
        return false;
    text.resize(got);
    value = text;
    return true;
}

bool CWin32ScanHost::IsFolder(const std::string& path)
{
    return ::PathIsDirectoryA(path.c_str()) != FALSE;
}

MissingReason CWin32ScanHost::WhyNoTarget(const std::string& shortcut)
{
    MissingReason reason;
    return m_notes.Take(shortcut, reason) ? reason : ReadWhyNoTarget(shortcut.c_str());
}

MissingReason ReadWhyNoTarget(const char* shortcutPath)
{
    scan::COpenShortcut shortcut;
    if (FAILED(scan::OpenShortcut(NULL, shortcutPath, shortcut)))
        return MissingReason::Unreadable;
    return ReasonOfOpen(shortcut);
}

void CEmptyTargetNotes::Note(const char* shortcutPath, MissingReason reason)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_reasons[shortcutPath] = reason;
}

bool CEmptyTargetNotes::Take(const std::string& shortcutPath, MissingReason& reason)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_reasons.find(shortcutPath);
    if (found == m_reasons.end())
        return false;
    reason = found->second;
    m_reasons.erase(found);
    return true;
}

CNotingScanFileSystem::CNotingScanFileSystem(HWND owner, CEmptyTargetNotes* notes)
    : CWin32ScanFileSystem(owner), m_notes(notes)
{
}

CNotingScanFileSystem::~CNotingScanFileSystem()
{
    ReleaseLinkMaker();
}

void CNotingScanFileSystem::ReleaseLinkMaker()
{
    if (m_linkMaker)
        m_linkMaker->Release();
    m_linkMaker = nullptr;
}

void CNotingScanFileSystem::ResolveShortcut(const char* shortcutPath, char* target)
{
    // The reader's own steps (scan::ResolveShortcut), with the shortcut
    // still open when its target comes back empty.
    target[0] = '\0';
    if (!m_linkMakerAsked) {
        // Without it every shortcut is made by CoCreateInstance, as before.
        m_linkMakerAsked = true;
        if (FAILED(::CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, NULL, IID_IClassFactory,
                                      reinterpret_cast<void**>(&m_linkMaker))))
            m_linkMaker = nullptr;
    }
    scan::COpenShortcut shortcut;
    if (FAILED(scan::OpenShortcut(Owner(), shortcutPath, shortcut, m_linkMaker))) {
        if (m_notes)
            m_notes->Note(shortcutPath, MissingReason::Unreadable);
        return;
    }
    // No find data: the path is all we use, and a shell may fill the find
    // data by going to the target (Wine does, with two directory reads):
    // on a network drive, the very wait that asking the drive first avoids.
    scan::ReadTarget(shortcut, NULL, target);
    if (target[0] == '\0' && m_notes)
        m_notes->Note(shortcutPath, ReasonOfOpen(shortcut));
}

bool CWin32ScanHost::RunsUnderWow64()
{
#ifdef _WIN64
    return false;
#else
    // Not there before Windows XP SP2, where nothing runs under WOW64 anyway.
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    const auto isWow64Process = kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
                                             ::GetProcAddress(kernel, "IsWow64Process")))
                                       : nullptr;
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

std::string CWin32ScanHost::AnsiToUtf8(const std::string& ansi)
{
    return Narrow(Widen(ansi, CP_ACP), CP_UTF8);
}

bool CWin32ScanHost::WriteOutput(const std::string& text, Encoding encoding)
{
    return Write(m_output, text, encoding == Encoding::Utf8 ? CP_UTF8 : CP_ACP);
}

void CWin32ScanHost::WriteError(const std::string& line)
{
    if (m_progressShown > 0)
        ShowProgress(std::string());  // the line takes the progress line's place
    Write(m_error, line + "\r\n", CP_ACP);
}

bool CWin32ScanHost::ProgressWanted()
{
    return m_error != NULL && m_error != INVALID_HANDLE_VALUE && IsConsole(m_error);
}

std::uint64_t CWin32ScanHost::Milliseconds()
{
    LARGE_INTEGER now, frequency;
    if (!::QueryPerformanceCounter(&now) || !::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
        return ::GetTickCount();
    const std::uint64_t ticks = static_cast<std::uint64_t>(now.QuadPart);
    const std::uint64_t perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
    return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

void CWin32ScanHost::ShowProgress(const std::string& line)
{
    if (!ProgressWanted())
        return;
    // One character short of the console's width: a line that filled it
    // would wrap, and the carriage return would then rewrite only its end.
    CONSOLE_SCREEN_BUFFER_INFO info;
    const SHORT width = ::GetConsoleScreenBufferInfo(m_error, &info) ? info.dwSize.X : 80;
    const std::size_t room = width > 8 ? static_cast<std::size_t>(width) - 1 : 7;
    std::wstring text = Widen(line, CP_ACP);
    if (text.size() > room) {
        // The counts lead and the folder's last part says most: cut between.
        std::size_t head = room / 3, tail = room - head - 3;
        if (IS_HIGH_SURROGATE(text[head - 1]))
            --head;
        if (IS_LOW_SURROGATE(text[text.size() - tail]))
            --tail;
        text = text.substr(0, head) + L"..." + text.substr(text.size() - tail);
    }
    const std::size_t shown = text.size();
    if (shown < m_progressShown)
        text.append(m_progressShown - shown, L' ');
    WriteWideToConsole(m_error, L"\r" + text + L"\r");
    m_progressShown = shown;
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
