#include "QuarantineLayout.h"

#include "scan/WinPath.h"

#include <cctype>

#include <vector>

namespace cli {

namespace {

const char kUnc[] = "UNC";

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

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
    scan::SplitPathParts(original.substr(2), parts);
    if (parts.size() < 3)
        return false;  // a share itself is no file
    relative = std::string(kUnc) + "\\" + original.substr(2);
    return true;
}

bool OriginalPath(const std::string& relative, std::string& original)
{
    original.clear();
    std::vector<std::string> parts;
    if (!scan::SplitPathParts(relative, parts))
        return false;
    if (parts[0].size() == 1 && scan::IsAsciiLetter(parts[0][0]) && parts.size() >= 2) {
        original = std::string(1, scan::AsciiUpperChar(parts[0][0])) + ":\\" + scan::JoinPathParts(parts, 1);
        return true;
    }
    if (parts[0] == kUnc && parts.size() >= 4) {
        original = "\\\\" + scan::JoinPathParts(parts, 1);
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
