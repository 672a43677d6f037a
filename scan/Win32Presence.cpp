#include "Win32Presence.h"

#include "Win32Text.h"

namespace scan {

Presence PresenceOfError(DWORD error)
{
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return Presence{Verdict::Missing, std::string()};
    return Presence{Verdict::Unverified, ErrorText(error)};
}

Presence AttributesPresence(const std::wstring& path)
{
    if (path.empty())
        return Presence{Verdict::Missing, std::string()};
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return Presence{Verdict::Present, std::string()};
    return PresenceOfError(::GetLastError());
}

}  // namespace scan
