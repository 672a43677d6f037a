#include "SystemPath.h"

#include "scan/Win32Text.h"

namespace cli {

namespace {

bool IsDriveAbsolute(const std::wstring& path)
{
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

bool IsUnc(const std::wstring& path)
{
    return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.';
}

// True when the path would be read differently with "\\?\" before it than
// without: a '/', a "." or ".." part, an empty part.
bool NeedsNormalising(const std::wstring& path, std::size_t from)
{
    if (path.find(L'/') != std::wstring::npos)
        return true;
    std::size_t start = from;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        const std::wstring part = path.substr(start, end - start);
        if (part == L"." || part == L".." || (part.empty() && end != path.size()))
            return true;
        start = end + 1;
    }
    return false;
}

std::wstring MadeFull(const std::wstring& path)
{
    const DWORD n = ::GetFullPathNameW(path.c_str(), 0, NULL, NULL);
    if (n == 0)
        return path;
    std::wstring full(n, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), n, &full[0], NULL);
    if (written == 0 || written >= n)
        return path;
    full.resize(written);
    return full;
}

}  // namespace

bool IsExactFullPath(const std::wstring& path)
{
    const bool unc = IsUnc(path);
    return (IsDriveAbsolute(path) || unc) && !NeedsNormalising(path, unc ? 2 : 3);
}

std::wstring FullPath(const std::wstring& path)
{
    return IsExactFullPath(path) ? path : MadeFull(path);
}

std::wstring SystemPath(const std::string& path)
{
    std::wstring wide = scan::Widen(path, CP_UTF8);
    if (wide.empty() || wide.compare(0, 4, L"\\\\?\\") == 0)
        return wide;
    wide = FullPath(wide);
    if (IsDriveAbsolute(wide))
        return L"\\\\?\\" + wide;
    if (IsUnc(wide))
        return L"\\\\?\\UNC\\" + wide.substr(2);
    return wide;
}

}  // namespace cli
