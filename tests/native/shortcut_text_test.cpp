// Internet shortcuts and ClickOnce references read from their bytes: the
// encodings Windows and editors write, the addresses a file: URL can spell,
// and what counts as damaged.
#include <gtest/gtest.h>

#include <string>

#include "cli/kinds/ShortcutText.h"

namespace {

using cli::UrlTarget;

std::string Utf16(const std::string& ascii, bool mark, bool bigEndian = false)
{
    std::string bytes = mark ? std::string(bigEndian ? "\xFE\xFF" : "\xFF\xFE", 2) : std::string();
    for (char c : ascii)
        bytes += bigEndian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
    return bytes;
}

// Code page 1252's two letters the tests use; anything else is refused.
bool Cp1252(const std::string& bytes, std::string& utf8)
{
    utf8.clear();
    for (char c : bytes) {
        if (c == '\xE9')
            utf8 += "\xC3\xA9";
        else if (static_cast<unsigned char>(c) < 0x80)
            utf8 += c;
        else
            return false;
    }
    return true;
}

TEST(UrlFile, ReadsTheAddressInEveryEncodingWindowsWrites)
{
    const std::string ini = "[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n"
                            "[InternetShortcut]\r\nIDList=\r\n url = file:///C:/Tools/caf\xC3\xA9.txt \r\n";
    const std::string cp = "[InternetShortcut]\nURL=file:///C:/caf\xE9.txt\n";
    const struct {
        const char* what;
        std::string bytes;
        std::string url;  // empty: damaged
    } cases[] = {
        {"UTF-8, key in any case, spaces trimmed", ini, "file:///C:/Tools/caf\xC3\xA9.txt"},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + ini, "file:///C:/Tools/caf\xC3\xA9.txt"},
        {"code page", cp, "file:///C:/caf\xC3\xA9.txt"},
        {"UTF-16LE with its mark", Utf16("[InternetShortcut]\r\nURL=https://example.invalid/\r\n", true),
         "https://example.invalid/"},
        {"UTF-16LE without one", Utf16("[InternetShortcut]\r\nURL=file:///C:/x\r\n", false), "file:///C:/x"},
        {"UTF-16BE", Utf16("[InternetShortcut]\nURL=h:/", true, true), "h:/"},
        {"the UTF-7 copy wins", "[InternetShortcut]\nURL=file:///C:/caf?.txt\n[InternetShortcut.W]\nURL=file:///C:/caf+AOk-.txt\n",
         "file:///C:/caf\xC3\xA9.txt"},
        {"UTF-7 '+-' is a plus", "[InternetShortcut.W]\nURL=file:///C:/a+-b\n", "file:///C:/a+b"},
        {"the first of two wins", "[InternetShortcut]\nURL=file:///C:/one\nURL=file:///C:/two\n", "file:///C:/one"},
        {"no section", "URL=file:///C:/x\n", ""},
        {"the key in another section", "[Other]\nURL=file:///C:/x\n[InternetShortcut]\nIconIndex=0\n", ""},
        {"an empty address", "[InternetShortcut]\nURL=\n", ""},
        {"a NUL in 8-bit text", std::string("[InternetShortcut]\nURL=file:///C:/") + '\0' + "x\n", ""},
        {"an odd UTF-16 length", Utf16("[InternetShortcut]\nURL=h:/", true) + "x", ""},
        {"an unpaired surrogate", Utf16("[InternetShortcut]\nURL=", true) + std::string("\x00\xD8", 2), ""},
        {"bytes the code page cannot read", "[InternetShortcut]\nURL=file:///C:/\x81\n", ""},
        {"too large", "[InternetShortcut]\nURL=h:/\n" + std::string(cli::kLargestShortcutText, ' '), ""},
    };
    for (const auto& c : cases) {
        std::string url, problem;
        const bool read = cli::ReadUrlFile(c.bytes, Cp1252, url, problem);
        EXPECT_EQ(read, !c.url.empty()) << c.what << ": " << problem;
        if (read)
            EXPECT_EQ(url, c.url) << c.what;
        else
            EXPECT_FALSE(problem.empty()) << c.what;
    }
}

TEST(UrlFile, FileAddressesGiveTheirPathAndNothingElseDoes)
{
    using Kind = UrlTarget::Kind;
    const struct {
        const char* url;
        Kind kind;
        const char* path;
    } cases[] = {
        {"file:///C:/gone.txt", Kind::File, "C:\\gone.txt"},
        {"FILE:///c:/Program%20Files/caf%C3%A9.exe", Kind::File, "c:\\Program Files\\caf\xC3\xA9.exe"},
        {"file:///C|/old/form.txt", Kind::File, "C:\\old\\form.txt"},
        {"file:C:/no/slashes", Kind::File, "C:\\no\\slashes"},
        {"file://localhost/D:/x", Kind::File, "D:\\x"},
        {"file:///C:", Kind::File, "C:\\"},
        {"file://server/share/dir/a.doc", Kind::File, "\\\\server\\share\\dir\\a.doc"},
        {"file:////server/share/a.doc", Kind::File, "\\\\server\\share\\a.doc"},
        {"https://example.invalid/", Kind::NotAFile, ""},
        {"mailto:someone@example.invalid", Kind::NotAFile, ""},
        {"steam://rungameid/440", Kind::NotAFile, ""},
        {"file:///C:/C#/notes.txt", Kind::Unsure, ""},
        {"file:///C:/a.txt?x=1", Kind::Unsure, ""},
        {"file:///C:/caf%E9.txt", Kind::Unsure, ""},  // a code page's byte
        {"file:///C:/a%2", Kind::Unsure, ""},
        {"file:///C:/a%00b", Kind::Unsure, ""},
        {"file:///home/ann/x", Kind::Unsure, ""},
        {"file://server", Kind::Unsure, ""},
        {"C:\\plain\\path", Kind::Unsure, ""},  // "C" is no scheme
        {"no scheme at all", Kind::Unsure, ""},
    };
    for (const auto& c : cases) {
        const UrlTarget target = cli::UrlToTarget(c.url);
        EXPECT_EQ(target.kind, c.kind) << c.url << ": " << target.problem;
        EXPECT_EQ(target.path, c.path) << c.url;
        EXPECT_EQ(target.kind == Kind::Unsure, !target.problem.empty()) << c.url;
    }
}

TEST(AppReference, ParsesAndMatchesItsUninstallEntry)
{
    const std::string text = "http://deploy.example.invalid/Tool/Tool.application#Tool.application, Culture=neutral, "
                             "PublicKeyToken=0123456789abcdef, processorArchitecture=msil\r\n";
    std::string decoded, problem;
    ASSERT_TRUE(cli::DecodeShortcutText(Utf16(text, true), Cp1252, decoded));
    cli::AppReference reference;
    ASSERT_TRUE(cli::ParseAppReference(decoded, reference, problem)) << problem;
    EXPECT_EQ(reference.deployment, "http://deploy.example.invalid/Tool/Tool.application");
    EXPECT_EQ(reference.name, "Tool.application");
    ASSERT_EQ(reference.identity.size(), 3u);
    EXPECT_EQ(reference.identity[1].first, "publickeytoken");

    const std::string maintain = "rundll32.exe dfshim.dll,ShArpMaintain Tool.application, Culture=neutral, "
                                 "PublicKeyToken=0123456789abcdef, processorArchitecture=msil";
    const struct {
        const char* what;
        std::string appId, uninstall;
        bool same;
    } entries[] = {
        {"its own ShortcutAppId", text, "", true},
        {"from another address, keys reordered and in other case",
         "http://mirror.invalid/T.application#TOOL.application, processorarchitecture=MSIL, Culture=neutral, "
         "PublicKeyToken=0123456789ABCDEF", "", true},
        {"dfshim's maintenance line", "", maintain, true},
        {"another token", "h#Tool.application, Culture=neutral, PublicKeyToken=ffffffffffffffff, processorArchitecture=msil",
         "", false},
        {"another application", "", "rundll32.exe dfshim.dll,ShArpMaintain Other.application, Culture=neutral, "
                                    "PublicKeyToken=0123456789abcdef, processorArchitecture=msil", false},
        {"a key less", "h#Tool.application, Culture=neutral, PublicKeyToken=0123456789abcdef", "", false},
        {"an MSI entry", "", "MsiExec.exe /X{00000000-0000-0000-0000-000000000000}", false},
    };
    for (const auto& e : entries)
        EXPECT_EQ(cli::EntryIsApplication(e.appId, e.uninstall, reference), e.same) << e.what;

    for (const char* damaged : {"", "   ", "no hash here", "#Tool.application", "h#", "h#Tool, Culture",
                                "h#Tool, =x", "h#Tool\nsecond line"}) {
        EXPECT_FALSE(cli::ParseAppReference(damaged, reference, problem)) << damaged;
        EXPECT_FALSE(problem.empty()) << damaged;
    }
}

TEST(ShortcutKind, ComesFromTheExtensionInAnyCase)
{
    const struct {
        const char* name;
        const char* kind;
    } cases[] = {{"a.lnk", "lnk"}, {"A.PIF", "pif"}, {"site.URL", "url"}, {"Tool.appref-ms", "appref-ms"},
                 {"x.url.lnk", "lnk"}, {".url", "lnk"}};
    for (const auto& c : cases)
        EXPECT_STREQ(cli::KindName(cli::ShortcutKindOfName(c.name)), c.kind) << c.name;
}

TEST(ShortcutKind, PinsAndExplorersTombstoneAreTheirOwnLocations)
{
    const char* const pins = "C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\";
    const struct {
        std::string path;
        const char* location;
    } cases[] = {
        {std::string(pins) + "TaskBar\\Tool.lnk", "pinned"},
        {std::string(pins) + "StartMenu\\Tool.lnk", "pinned"},
        {std::string(pins) + "TaskBar\\Tombstone\\Dead.lnk", "tombstone"},
        {std::string(pins) + "TASKBAR\\TOMBSTONES\\Dead.lnk", "tombstone"},
        {"C:\\Users\\ann\\Desktop\\Tombstone\\Tool.lnk", "desktop"},
        {"C:\\Users\\ann\\Desktop\\User Pinned.lnk", "desktop"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cli::PinnedLocation(c.path, "desktop"), c.location) << c.path;
}

}  // namespace
