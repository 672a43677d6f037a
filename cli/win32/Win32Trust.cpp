#include "Win32Trust.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "Scoped.h"
#include "SystemPath.h"
#include "scan/Win32Text.h"

namespace cli {

namespace {

using Handle = ScopedHandle;

std::string SystemWords(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          NULL, error, 0, reinterpret_cast<LPWSTR>(&text), 0, NULL);
    std::wstring words = length ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n' || words.back() == L'.'))
        words.pop_back();
    return words.empty() ? "error " + std::to_string(error) : scan::Narrow(words, CP_UTF8);
}

// The process token's user SID as text.
std::string TokenUserSid(HANDLE token)
{
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, NULL, 0, &size);
    if (!size)
        return std::string();
    ScopedLocal user(::LocalAlloc(LMEM_FIXED, size));
    LPWSTR text = nullptr;
    if (!user || !::GetTokenInformation(token, TokenUser, user.get(), size, &size) ||
        !::ConvertSidToStringSidW(static_cast<TOKEN_USER*>(user.get())->User.Sid, &text))
        return std::string();
    const std::string sid = scan::Narrow(text, CP_UTF8);
    ::LocalFree(text);
    return sid;
}

Handle ProcessToken()
{
    HANDLE token = NULL;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return Handle();
    return Handle(token);
}

bool UnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != NULL;
}

}  // namespace

bool CWin32SecurityReader::Elevated()
{
    const Handle token = ProcessToken();
    if (!token)
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated)
        return true;
    // Before Vista there is no elevation: SYSTEM is the account that matters.
    return TokenUserSid(token.get()) == kSystemSid;
}

std::string CWin32SecurityReader::UserSid()
{
    const Handle token = ProcessToken();
    return token ? TokenUserSid(token.get()) : std::string();
}

std::vector<std::string> CWin32SecurityReader::MachineAccounts()
{
    // Wine gives every file of the prefix's Unix account to the user it runs
    // programs as (and a file of any other Unix account to ANONYMOUS LOGON):
    // that user is the only one there is, and the administrator.
    if (UnderWine()) {
        const std::string user = UserSid();
        if (!user.empty())
            return {user};
    }
    return std::vector<std::string>();
}

bool CWin32SecurityReader::ModeDescriptors()
{
    return UnderWine();
}

ObjectSecurity CWin32SecurityReader::Read(const std::string& path)
{
    ObjectSecurity read;
    // The object itself, never what a link names; no one is kept from it.
    const HANDLE opened = ::CreateFileW(SystemPath(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            read.state = ObjectSecurity::State::Missing;
        } else {
            read.state = ObjectSecurity::State::Unreadable;
            read.problem = SystemWords(error);
        }
        return read;
    }
    const Handle object(opened);
    return ReadSecurity(object.get());
}

ObjectSecurity ReadSecurity(HANDLE object)
{
    ObjectSecurity read;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(object, &info)) {
        read.problem = SystemWords(::GetLastError());
        return read;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        read.state = ObjectSecurity::State::Link;
        return read;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    const DWORD error =
        ::GetSecurityInfo(object, SE_FILE_OBJECT, what, NULL, NULL, NULL, NULL, &descriptor);
    if (error != ERROR_SUCCESS) {
        read.problem = SystemWords(error);
        return read;
    }
    const ScopedLocal owned(descriptor);
    LPWSTR text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what, &text, NULL)) {
        read.problem = SystemWords(::GetLastError());
        return read;
    }
    read.sddl = scan::Narrow(text, CP_UTF8);
    ::LocalFree(text);
    read.state = ObjectSecurity::State::Found;
    return read;
}

std::string CWin32SecurityReader::AccountName(const std::string& sid)
{
    PSID binary = nullptr;
    if (!::ConvertStringSidToSidW(scan::Widen(sid, CP_UTF8).c_str(), &binary))
        return std::string();
    const ScopedLocal owned(binary);
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!::LookupAccountSidW(NULL, binary, name, &nameSize, domain, &domainSize, &use))
        return std::string();
    const std::wstring account = domainSize ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    return scan::Narrow(account, CP_UTF8);
}

}  // namespace cli
