#include "StoredStrings.h"

#include <cstdint>
#include <vector>

namespace scan {

namespace {

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::uint32_t kHasIdList = 0x01;
constexpr std::uint32_t kIsUnicode = 0x80;
constexpr std::uint32_t kHasRelativePath = 0x08;
constexpr std::uint32_t kHasWorkingDir = 0x10;
// Name, relative path, working folder, arguments, icon location, in this
// order.
constexpr std::uint32_t kStringFlags[] = {0x04, 0x08, 0x10, 0x20, 0x40};

bool ReadU16(ByteSource& source, std::uint64_t at, std::uint32_t& value)
{
    unsigned char b[2];
    if (!source.Read(at, b, 2))
        return false;
    value = static_cast<std::uint32_t>(b[0] | b[1] << 8);
    return true;
}

bool ReadU32(ByteSource& source, std::uint64_t at, std::uint32_t& value)
{
    unsigned char b[4];
    if (!source.Read(at, b, 4))
        return false;
    value = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
            static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// count characters at at: UTF-16 (a lone surrogate becomes U+FFFD), or
// narrow ASCII. False for narrow text that is not ASCII.
bool Text(ByteSource& source, std::uint64_t at, std::uint32_t count, bool wide, std::string& text)
{
    std::vector<unsigned char> raw(static_cast<std::size_t>(count) * (wide ? 2 : 1));
    if (!raw.empty() && !source.Read(at, raw.data(), raw.size()))
        return false;
    text.clear();
    for (std::size_t i = 0; i < count; ++i) {
        if (!wide) {
            if (raw[i] >= 0x80)
                return false;
            text += static_cast<char>(raw[i]);
            continue;
        }
        std::uint32_t c = static_cast<std::uint32_t>(raw[2 * i] | raw[2 * i + 1] << 8);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
            const std::uint32_t low = static_cast<std::uint32_t>(raw[2 * i + 2] | raw[2 * i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(text, c);
    }
    return true;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

}  // namespace

bool ReadStoredStrings(ByteSource& source, StoredStrings& strings)
{
    strings = StoredStrings();
    LinkSections sections;
    if (!FindLinkSections(source, sections))
        return false;
    // The check passed: every section lies inside the file.
    std::uint64_t at = kHeaderSize;
    std::uint32_t size = 0;
    if (sections.linkInfo) {
        if (!ReadU32(source, sections.linkInfo, size))
            return false;
        at = sections.linkInfo + size;
    } else if (sections.flags & kHasIdList) {
        if (!ReadU16(source, at, size))
            return false;
        at += 2 + size;
    }
    const bool wide = (sections.flags & kIsUnicode) != 0;
    for (std::uint32_t flag : kStringFlags) {
        if (!(sections.flags & flag))
            continue;
        std::uint32_t count = 0;
        if (!ReadU16(source, at, count))
            return false;
        std::string* field = flag == kHasRelativePath ? &strings.relativePath
                             : flag == kHasWorkingDir ? &strings.workingDir
                                                      : nullptr;
        if (field && !Text(source, at + 2, count, wide, *field)) {
            strings = StoredStrings();
            return false;
        }
        at += 2 + std::uint64_t{count} * (wide ? 2 : 1);
    }
    return true;
}

std::string JoinRelative(const std::string& folder, const std::string& relative)
{
    if (relative.empty() || IsSeparator(relative[0]) || (relative.size() >= 2 && relative[1] == ':'))
        return std::string();
    // The root: "C:\" or "\\server\share\"; the parts below it may go.
    std::string root;
    std::size_t from = 0;
    if (folder.size() >= 3 && folder[1] == ':' && IsSeparator(folder[2])) {
        root = folder.substr(0, 2) + '\\';
        from = 3;
    } else if (folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) {
        std::size_t server = 2;
        while (server < folder.size() && !IsSeparator(folder[server]))
            ++server;
        std::size_t share = server + 1;
        while (share < folder.size() && !IsSeparator(folder[share]))
            ++share;
        if (server == 2 || server >= folder.size() || share == server + 1)
            return std::string();
        root = "\\\\" + folder.substr(2, server - 2) + '\\' + folder.substr(server + 1, share - server - 1) + '\\';
        from = share;
    } else {
        return std::string();
    }
    std::vector<std::string> parts;
    const std::string rest = folder.substr(from) + '\\' + relative;
    std::string part;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && !IsSeparator(rest[i])) {
            part += rest[i];
            continue;
        }
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    }
    std::string joined = root;
    for (std::size_t i = 0; i < parts.size(); ++i)
        joined += (i ? "\\" : "") + parts[i];
    return joined;
}

}  // namespace scan
