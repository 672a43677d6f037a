#include "QuarantineLayout.h"

#include <cctype>

#include <vector>

namespace cli {

namespace {

const char kUnc[] = "UNC";

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The parts of a backslash-separated path; false when one is empty, "." or
// "..", or holds ':' (a stream), '?' or '*': such a path would name another
// file once joined or prefixed, or none.
bool SplitParts(const std::string& path, std::vector<std::string>& parts)
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

std::string Join(const std::vector<std::string>& parts, std::size_t from)
{
    std::string joined;
    for (std::size_t i = from; i < parts.size(); ++i)
        joined += (i > from ? "\\" : "") + parts[i];
    return joined;
}

}  // namespace

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
    if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') {
        if (path.size() == 2 || path[2] != '\\')
            return false;  // "C:" alone or "C:name" is relative to a current folder
        if (path.size() > 3 && !SplitParts(path.substr(3), parts))
            return false;
        plain = std::string(1, Upper(path[0])) + ":\\" + Join(parts, 0);
        return true;
    }
    if (StartsWith(path, "\\\\") && SplitParts(path.substr(2), parts) && parts.size() >= 2) {
        plain = "\\\\" + Join(parts, 0);
        return true;
    }
    return false;
}

bool QuarantinePlace(const std::string& original, std::string& relative)
{
    relative.clear();
    std::string plain;
    if (!PlainFullPath(original, plain) || plain != original)
        return false;
    std::vector<std::string> parts;
    if (original[1] == ':') {
        if (original.size() <= 3)
            return false;
        relative = std::string(1, original[0]) + "\\" + original.substr(3);
        return true;
    }
    SplitParts(original.substr(2), parts);
    if (parts.size() < 3)
        return false;  // a share itself is no file
    relative = std::string(kUnc) + "\\" + original.substr(2);
    return true;
}

bool OriginalPath(const std::string& relative, std::string& original)
{
    original.clear();
    std::vector<std::string> parts;
    if (!SplitParts(relative, parts))
        return false;
    if (parts[0].size() == 1 && IsLetter(parts[0][0]) && parts.size() >= 2) {
        original = std::string(1, Upper(parts[0][0])) + ":\\" + Join(parts, 1);
        return true;
    }
    if (parts[0] == kUnc && parts.size() >= 4) {
        original = "\\\\" + Join(parts, 1);
        return true;
    }
    return false;
}

std::string LongForm(const std::string& plain)
{
    if (StartsWith(plain, "\\\\"))
        return "\\\\?\\UNC\\" + plain.substr(2);
    return "\\\\?\\" + plain;
}

bool IsWithin(const std::string& path, const std::string& folder)
{
    if (path.size() < folder.size())
        return false;
    for (std::size_t i = 0; i < folder.size(); ++i)
        if (Upper(path[i]) != Upper(folder[i]))
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

bool IsTemporaryName(const std::string& path)
{
    // ".<hex>-<hex>-<hex>-<hex>.tmp" after the real name.
    const std::size_t slash = path.rfind('\\');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string end = ".tmp";
    if (name.size() <= end.size() || name.compare(name.size() - end.size(), end.size(), end) != 0)
        return false;
    const std::size_t dot = name.rfind('.', name.size() - end.size() - 1);
    if (dot == std::string::npos || dot == 0)
        return false;
    int groups = 1;
    std::size_t digits = 0;
    for (std::size_t i = dot + 1; i < name.size() - end.size(); ++i) {
        const char c = name[i];
        if (c == '-' && digits > 0) {
            ++groups;
            digits = 0;
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            ++digits;
        } else {
            return false;
        }
    }
    return groups == 4 && digits > 0;
}

}  // namespace cli
