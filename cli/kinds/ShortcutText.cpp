#include "ShortcutText.h"

#include <algorithm>
#include <cstdint>

namespace cli {

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), Lower);
    return text;
}

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && LowerText(a) == LowerText(b);
}


std::string Trim(const std::string& text)
{
    const char* const kSpace = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

void PutUtf8(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// False on an unpaired surrogate or a NUL.
bool Utf16ToUtf8(const std::u16string& units, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c == 0)
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        PutUtf8(c, out);
    }
    return true;
}

// Strict: no overlong form, no surrogate, nothing past U+10FFFF, no NUL.
bool ValidUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0)
            return false;
        std::size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        char32_t value = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::u16string Units(const std::string& bytes, std::size_t from, bool bigEndian)
{
    std::u16string units;
    for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
        const unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        units += static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    }
    return units;
}

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

// RFC 2152, as Windows writes [InternetShortcut.W].
bool Utf7ToUtf8(const std::string& text, std::string& out)
{
    std::u16string units;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '+') {
            if (static_cast<unsigned char>(text[i]) >= 0x80)
                return false;
            units += static_cast<char16_t>(text[i]);
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '-') {
            units += u'+';
            ++i;
            continue;
        }
        std::uint32_t bits = 0;
        int count = 0;
        while (i + 1 < text.size() && Base64Value(text[i + 1]) >= 0) {
            bits = (bits << 6) | static_cast<std::uint32_t>(Base64Value(text[++i]));
            count += 6;
            if (count >= 16) {
                count -= 16;
                units += static_cast<char16_t>((bits >> count) & 0xFFFF);
            }
        }
        if (i + 1 < text.size() && text[i + 1] == '-')
            ++i;  // the shift's end, absorbed
    }
    return Utf16ToUtf8(units, out);
}

// The value of key in section, or false; the first of each wins, as
// GetPrivateProfileString reads.
bool IniValue(const std::string& text, const char* section, const char* key, std::string& value)
{
    bool inSection = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (inSection)
                return false;  // the section ended without the key
            inSection = close != std::string::npos && SameText(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (inSection && equals != std::string::npos && SameText(Trim(line.substr(0, equals)), key)) {
            value = Trim(line.substr(equals + 1));
            return true;
        }
    }
    return false;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

UrlTarget Unsure(UrlTarget target, const std::string& problem)
{
    target.kind = UrlTarget::Kind::Unsure;
    target.problem = problem;
    return target;
}

}  // namespace


bool DecodeShortcutText(const std::string& bytes, const CodePageDecoder& codePage, std::string& utf8)
{
    utf8.clear();
    if (bytes.size() > kLargestShortcutText)
        return false;
    const auto starts = [&bytes](const char* mark, std::size_t length) { return bytes.compare(0, length, mark, length) == 0; };
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2))
        return bytes.size() % 2 == 0 && Utf16ToUtf8(Units(bytes, 2, bytes[0] == '\xFE'), utf8);
    if (starts("\xEF\xBB\xBF", 3)) {
        utf8 = bytes.substr(3);
        return ValidUtf8(utf8);
    }
    // Notepad's "Unicode" without its mark still starts with ASCII.
    if (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0)
        return bytes.size() % 2 == 0 && Utf16ToUtf8(Units(bytes, 0, false), utf8);
    if (ValidUtf8(bytes)) {
        utf8 = bytes;
        return true;
    }
    return bytes.find('\0') == std::string::npos && codePage && codePage(bytes, utf8);
}

bool ReadUrlFile(const std::string& bytes, const CodePageDecoder& codePage, std::string& url, std::string& problem)
{
    std::string text;
    if (!DecodeShortcutText(bytes, codePage, text)) {
        problem = bytes.size() > kLargestShortcutText ? "larger than an Internet shortcut can be"
                                                      : "not text in any encoding Windows writes";
        return false;
    }
    std::string wide;
    if (IniValue(text, "InternetShortcut.W", "URL", wide) && !wide.empty()) {
        if (Utf7ToUtf8(wide, url) && !url.empty())
            return true;
        problem = "its [InternetShortcut.W] address is not valid UTF-7";
        return false;
    }
    if (IniValue(text, "InternetShortcut", "URL", url) && !url.empty())
        return true;
    problem = "no URL in an [InternetShortcut] section";
    return false;
}

UrlTarget UrlToTarget(const std::string& url)
{
    UrlTarget target;
    const std::size_t colon = url.find(':');
    const bool schemed = colon != std::string::npos && colon > 1 &&
                         std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
                             return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                    c == '+' || c == '-' || c == '.';
                         });
    if (!schemed)
        return Unsure(target, "the address has no scheme");
    target.scheme = LowerText(url.substr(0, colon));
    if (target.scheme != "file") {
        target.kind = UrlTarget::Kind::NotAFile;
        return target;
    }
    // A raw '?' or '#' is a query or a fragment to a browser and a part of
    // the name to older writers: the file it names is not certain.
    std::string rest = url.substr(colon + 1);
    if (rest.find_first_of("?#") != std::string::npos)
        return Unsure(target, "the address holds '?' or '#'");
    std::string host;
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t slash = rest.find('/', 2);
        host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
        if (SameText(host, "localhost"))
            host.clear();
    }
    std::string decoded;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            decoded += rest[i] == '/' ? '\\' : rest[i];
            continue;
        }
        const int high = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(rest[i + 2]) : -1;
        if (low < 0)
            return Unsure(target, "a '%' escape in the address is not two hexadecimal digits");
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    // Older writers escaped the code page's bytes: such a name is not known.
    if (!ValidUtf8(decoded) || !ValidUtf8(host))
        return Unsure(target, "the address's escapes are not UTF-8");
    for (char c : decoded)
        if (static_cast<unsigned char>(c) < 0x20)
            return Unsure(target, "the address holds a control character");
    if (!host.empty()) {
        // file://server/share/dir: a share; the share's own name must follow.
        const std::size_t share = decoded.find_first_not_of('\\');
        if (share == std::string::npos || host.find('\\') != std::string::npos)
            return Unsure(target, "the address names a server but no share");
        target.path = "\\\\" + host + "\\" + decoded.substr(share);
    } else {
        // "\C:\dir", "C:\dir", "\C|\dir" (an old form of the drive's colon).
        std::size_t drive = decoded.find_first_not_of('\\');
        if (drive != std::string::npos && drive <= 1 && decoded.size() > drive + 1 &&
            ((decoded[drive] | 0x20) >= 'a' && (decoded[drive] | 0x20) <= 'z') &&
            (decoded[drive + 1] == ':' || decoded[drive + 1] == '|') &&
            (decoded.size() == drive + 2 || decoded[drive + 2] == '\\')) {
            target.path = decoded.substr(drive);
            target.path[1] = ':';
            if (target.path.size() == 2)
                target.path += '\\';
        } else if (decoded.compare(0, 2, "\\\\") == 0 && decoded.size() > 2 && decoded[2] != '\\') {
            target.path = decoded;  // file:////server/share: a share written with an empty host
        } else {
            return Unsure(target, "the address names no drive or share");
        }
    }
    target.kind = UrlTarget::Kind::File;
    return target;
}

bool ParseAppReference(const std::string& text, AppReference& reference, std::string& problem)
{
    reference = AppReference();
    const std::string line = Trim(text);
    if (line.empty() || line.find_first_of("\r\n") != std::string::npos) {
        problem = line.empty() ? "empty" : "more than one line";
        return false;
    }
    const std::size_t hash = line.find('#');
    if (hash == std::string::npos || hash == 0) {
        problem = "no deployment address and application named (\"address#name, ...\")";
        return false;
    }
    reference.deployment = line.substr(0, hash);
    std::size_t start = hash + 1;
    bool first = true;
    while (start <= line.size()) {
        std::size_t comma = line.find(',', start);
        if (comma == std::string::npos)
            comma = line.size();
        const std::string part = Trim(line.substr(start, comma - start));
        start = comma + 1;
        if (first) {
            reference.name = part;
            first = false;
            continue;
        }
        const std::size_t equals = part.find('=');
        if (equals == std::string::npos || equals == 0) {
            problem = "an identity part is not \"key=value\": " + part;
            return false;
        }
        reference.identity.emplace_back(LowerText(Trim(part.substr(0, equals))), Trim(part.substr(equals + 1)));
    }
    if (reference.name.empty()) {
        problem = "no application name after '#'";
        return false;
    }
    return true;
}

bool SameApplication(const AppReference& a, const AppReference& b)
{
    if (!SameText(a.name, b.name) || a.identity.size() != b.identity.size())
        return false;
    for (const auto& pair : a.identity) {
        const auto match = std::find_if(b.identity.begin(), b.identity.end(), [&pair](const auto& other) {
            return other.first == pair.first && SameText(other.second, pair.second);
        });
        if (match == b.identity.end())
            return false;
    }
    return true;
}

bool EntryIsApplication(const std::string& shortcutAppId, const std::string& uninstallString,
                        const AppReference& reference)
{
    AppReference other;
    std::string problem;
    if (!shortcutAppId.empty() && ParseAppReference(shortcutAppId, other, problem) && SameApplication(other, reference))
        return true;
    static const char kMaintain[] = "dfshim.dll,sharpmaintain ";
    const std::size_t at = LowerText(uninstallString).find(kMaintain);
    if (at == std::string::npos)
        return false;
    // The identity alone: an address with nothing before '#'.
    return ParseAppReference("x#" + uninstallString.substr(at + sizeof kMaintain - 1), other, problem) &&
           SameApplication(other, reference);
}

std::string PinnedLocation(const std::string& path, const std::string& location)
{
    const std::string lower = LowerText(path);
    const std::size_t pins = lower.find("\\user pinned\\");
    if (pins == std::string::npos)
        return location;
    for (const char* folder : {"\\tombstone\\", "\\tombstones\\"})
        if (lower.find(folder, pins) != std::string::npos)
            return "tombstone";
    return "pinned";
}

}  // namespace cli
