#include "WinPath.h"

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

std::string JoinPathParts(const std::vector<std::string>& parts, std::size_t from)
{
    std::string joined;
    for (std::size_t i = from; i < parts.size(); ++i)
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

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

}  // namespace scan
