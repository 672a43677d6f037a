#include "Win32Presence.h"

#include "Win32Text.h"

namespace scan {

Presence PresenceOfError(DWORD error)
{
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return Presence{Verdict::Missing, std::string()};
    return Presence{Verdict::Unverified, ErrorText(error)};
}

Presence AttributesPresence(const std::wstring& path, bool storedName)
{
    if (path.empty())
        return Presence{Verdict::Missing, std::string()};
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return Presence{Verdict::Present, std::string()};
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // The attributes are the link's own: opening it, following it and
        // asking no access, says whether its destination is there.
        const HANDLE followed =
            ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
        if (followed != INVALID_HANDLE_VALUE) {
            ::CloseHandle(followed);
            return Presence{Verdict::Present, std::string()};
        }
    }
    return PresenceOfFailure(path, ::GetLastError(), storedName);
}

Presence PresenceOfFailure(const std::wstring& path, DWORD error, bool storedName)
{
    if (error == ERROR_INVALID_NAME && storedName && NameCannotExist(Narrow(path, CP_UTF8)))
        return Presence{Verdict::Missing, std::string()};
    return PresenceOfError(error);
}

}  // namespace scan
