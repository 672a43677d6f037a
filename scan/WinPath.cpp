#include "WinPath.h"

#include <algorithm>

namespace scan {

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char AsciiUpperChar(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char AsciiLowerChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameAsciiText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i]))
            return false;
    return true;
}

bool HasAsciiTextAt(const std::string& text, std::size_t at, const char* prefix)
{
    for (std::size_t i = 0; prefix[i]; ++i)
        if (at + i >= text.size() || AsciiUpperChar(text[at + i]) != AsciiUpperChar(prefix[i]))
            return false;
    return true;
}

bool IsDriveRooted(const std::string& path)
{
    return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\';
}

bool SplitPathParts(const std::string& path, std::vector<std::string>& parts)
{
    parts.clear();
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = path.find('\\', at);
        const std::string part = path.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (part.empty() || part == "." || part == ".." || part.find_first_of(":?*") != std::string::npos)
            return false;
        parts.push_back(part);
        if (end == std::string::npos)
            return true;
        at = end + 1;
    }
}

std::string JoinPathParts(const std::vector<std::string>& parts, std::size_t from, std::size_t to)
{
    std::string joined;
    for (std::size_t i = from; i < std::min(to, parts.size()); ++i)
        joined += (i > from ? "\\" : "") + parts[i];
    return joined;
}

bool PlainFullPath(const std::string& full, std::string& plain)
{
    plain.clear();
    std::string path = full;
    if (StartsWith(path, "\\\\?\\UNC\\"))
        path = "\\\\" + path.substr(8);
    else if (StartsWith(path, "\\\\?\\"))
        path = path.substr(4);
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();

    std::vector<std::string> parts;
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
        if (path.size() == 2 || path[2] != '\\')
            return false;  // "C:" alone or "C:name" is relative to a current folder
        if (path.size() > 3 && !SplitPathParts(path.substr(3), parts))
            return false;
        plain = std::string(1, AsciiUpperChar(path[0])) + ":\\" + JoinPathParts(parts, 0);
        return true;
    }
    if (StartsWith(path, "\\\\") && SplitPathParts(path.substr(2), parts) && parts.size() >= 2) {
        plain = "\\\\" + JoinPathParts(parts, 0);
        return true;
    }
    return false;
}

bool IsWithin(const std::string& path, const std::string& folder)
{
    if (path.size() < folder.size())
        return false;
    for (std::size_t i = 0; i < folder.size(); ++i)
        if (AsciiUpperChar(path[i]) != AsciiUpperChar(folder[i]))
            return false;
    return path.size() == folder.size() || folder.back() == '\\' || path[folder.size()] == '\\';
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos || slash + 1 == path.size())
        return std::string();
    // "C:\name" keeps the root's backslash.
    if (slash == 2 && path[1] == ':')
        return path.substr(0, 3);
    std::string plain;
    const std::string parent = path.substr(0, slash);
    return PlainFullPath(parent, plain) ? plain : std::string();
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderTextOf(const std::string& path)
{
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WithoutTrailingBackslashes(std::string path)
{
    while (path.size() > 1 && path.back() == '\\' && !(path.size() == 3 && path[1] == ':'))
        path.pop_back();
    return path;
}

std::string JoinedPath(const std::string& folder, const std::string& rest)
{
    const std::string head = WithoutTrailingBackslashes(folder);
    if (head.empty())
        return rest;
    return head.back() == '\\' ? head + rest : head + '\\' + rest;
}

bool SplitFullPath(const std::string& path, std::string& root, std::vector<std::string>& names, bool keepEmptyNames)
{
    names.clear();
    std::size_t at = 0;
    if (IsDriveRooted(path)) {
        root = path.substr(0, 2);
        at = 3;
    } else if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
        const std::size_t server = path.find('\\', 2);
        const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        if (server == std::string::npos || server == 2 || share == server + 1)
            return false;
        root = path.substr(0, share);
        at = share == std::string::npos ? path.size() : share + 1;
    } else {
        return false;
    }
    while (at < path.size()) {
        const std::size_t end = std::min(path.find('\\', at), path.size());
        if (end > at || keepEmptyNames)
            names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return true;
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

}  // namespace scan
