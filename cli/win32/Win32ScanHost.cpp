#include "Win32ScanHost.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "RegistryKey.h"
#include "WholeFile.h"
#include "scan/PathText.h"
#include "scan/Win32Text.h"

namespace cli {

using scan::Narrow;
using scan::Widen;

namespace {

const char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char kUserShellFolders[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char* const kShellFolderValues[] = {"Start Menu", "Desktop", "AppData", "Local AppData"};

std::string ShellFolder(int csidl)
{
    // The folder is never made here: a location that is not there is left out.
    wchar_t path[MAX_PATH] = L"";
    if (FAILED(::SHGetFolderPathW(NULL, csidl, NULL, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return Narrow(path, CP_UTF8);
}

std::string Variable(const std::string& name)
{
    const std::wstring wide = Widen(name, CP_UTF8);
    const DWORD n = ::GetEnvironmentVariableW(wide.c_str(), NULL, 0);
    if (n == 0)
        return std::string();
    std::wstring text(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(wide.c_str(), &text[0], n);
    if (got == 0 || got >= n)
        return std::string();
    text.resize(got);
    return Narrow(text, CP_UTF8);
}

bool MachineValue(const std::string& name, std::string& value)
{
    value = Variable(name);
    return !value.empty();
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
    // Machine variables only: a per-user one would take the caller's value
    // and make this profile the caller's.
    std::string problem;
    const ProfileRecord none;
    if (scan::AsciiUpper(image).find("%USERPROFILE%") != std::string::npos ||
        !ExpandForProfile(image, none, MachineValue, profile.folder, problem)) {
        profile.problem = "its ProfileImagePath \"" + image + "\" names a per-user variable";
        return profile;
    }

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
    wchar_t sid[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof sid / sizeof sid[0];
        const LONG result = ::RegEnumKeyExW(list.Get(), i, sid, &length, NULL, NULL, NULL, NULL);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result == ERROR_SUCCESS)
            profiles.push_back(ReadProfile(list.Get(), Narrow(std::wstring(sid, length), CP_UTF8)));
    }
    return profiles;
}

bool CWin32ScanHost::MachineVariable(const std::string& name, std::string& value)
{
    return MachineValue(name, value);
}

bool CWin32ScanHost::IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

MissingReason CWin32ScanHost::WhyNoTarget(const std::string& shortcut)
{
    MissingReason reason;
    return m_context.Take(shortcut, reason) ? reason : ReadWhyNoTarget(shortcut);
}

void CWin32ScanHost::ReadTargetsFor(const ProfileRecord* profile)
{
    m_context.SetProfile(profile ? std::make_shared<const ProfileRecord>(*profile) : nullptr);
    if (!profile) {
        m_context.SetExpander(CReadContext::Expander());
        return;
    }
    m_context.SetExpander([record = *profile](const std::string& stored, std::string& expanded, std::string& problem) {
        return ExpandForProfile(stored, record, MachineValue, expanded, problem);
    });
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

std::string CWin32ScanHost::MachineName()
{
    // The NetBIOS name: what %COMPUTERNAME% and the management consoles show.
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &size) ? scan::Narrow(std::wstring(name, size), CP_UTF8) : std::string();
}

std::string CWin32ScanHost::UserName()
{
    // The token's account, looked up as DOMAIN\user: run by a management
    // tool it is NT AUTHORITY\SYSTEM, which no user name variable says.
    HANDLE token = NULL;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::string();
    std::string result;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, NULL, 0, &size);
    std::vector<BYTE> buffer(size ? size : 1);
    if (size && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        wchar_t account[256], domain[256];
        DWORD accountSize = 256, domainSize = 256;
        SID_NAME_USE use;
        if (::LookupAccountSidW(NULL, sid, account, &accountSize, domain, &domainSize, &use))
            result = scan::Narrow(std::wstring(domain) + L"\\" + account, CP_UTF8);
    }
    ::CloseHandle(token);
    return result;
}

std::string CWin32ScanHost::UtcTime()
{
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

bool CWin32ScanHost::WriteOutput(const std::string& text, Encoding encoding)
{
    return Write(m_output, text, encoding == Encoding::Utf8 ? CP_UTF8 : CP_ACP);
}

bool CWin32ScanHost::WriteOutputFile(const std::string& path, const std::string& text, std::string& problem)
{
    DWORD error = ERROR_SUCCESS;
    if (WriteWholeFile(SystemPath(path), text, error))
        return true;
    problem = scan::ErrorText(error);
    return false;
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
    std::wstring text = Widen(line, CP_UTF8);
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
        return WriteWideToConsole(stream, Widen(text, CP_UTF8));
    return WriteAll(stream, codePage == CP_UTF8 ? text : Narrow(Widen(text, CP_UTF8), codePage));
}

}  // namespace cli
