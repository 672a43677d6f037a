// The structure check against shortcut files built byte by byte: every kind
// found on real machines passes, and so does damage the shell's reader copes
// with; a cut or a size that would lead the reader astray fails.
#include "scan/LinkStructure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "tests/kit/LnkBuilder.h"

namespace {

using lnkkit::Layout;
using lnkkit::Variant;

// Fails the test on any read past the size it told, or larger than the
// check's window: the check must never ask for what the file declares.
class WatchedSource : public scan::ByteSource {
public:
    explicit WatchedSource(const std::string& bytes) : m_memory(bytes.data(), bytes.size()), m_size(bytes.size()) {}
    bool Size(std::uint64_t& size) override { return m_memory.Size(size); }
    bool Read(std::uint64_t offset, void* buffer, std::size_t length) override
    {
        EXPECT_LE(offset + length, m_size) << "read past the end";
        EXPECT_LE(length, 4096u) << "read larger than the window";
        return m_memory.Read(offset, buffer, length);
    }

private:
    scan::MemoryByteSource m_memory;
    std::size_t m_size;
};

bool Check(const std::string& bytes)
{
    WatchedSource source(bytes);
    return scan::CheckLinkStructure(source);
}

bool MayGoToShell(const std::string& bytes, const char* name)
{
    WatchedSource source(bytes);
    return scan::MayGoToShell(name, source);
}

std::uint32_t Le32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

TEST(LinkStructure, EveryVariantPassesAndOnlyACutBeforeItsExtraDataFails)
{
    for (const Variant& variant : lnkkit::Variants()) {
        SCOPED_TRACE(variant.name);
        Layout layout;
        const std::string bytes = lnkkit::Build(variant.parts, &layout);
        EXPECT_TRUE(Check(bytes));
        // Before the extra data, a cut leaves a section the flags announce
        // running past the end. After it, the shell's list reader stops at
        // the end of the file, drops a block cut short and never reads a
        // size above 64 KB: so do trailing bytes that cannot make a block.
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            const bool inExtraData = cut >= layout.blocks.front();
            const std::string head = bytes.substr(0, cut);
            EXPECT_EQ(inExtraData, Check(head)) << "cut at " << cut << " of " << bytes.size();
            if (inExtraData) {
                EXPECT_TRUE(Check(head + std::string(3, '\0'))) << "cut at " << cut << ", a size cut short";
                EXPECT_TRUE(Check(head + std::string(4, '\xFF'))) << "cut at " << cut << ", a size over 64 KB";
            }
        }
    }
}

TEST(LinkStructure, DamageFailsOnlyWhereTheReaderWouldGoWrong)
{
    struct Damage {
        const char* what;
        const char* variant;
        std::function<void(std::string&, const Layout&)> apply;
        bool passes;
    };
    const auto linkInfoField = [](std::size_t field, std::uint32_t value) {
        return [=](std::string& b, const Layout& l) { lnkkit::Put32(b, l.linkInfo + field, value); };
    };
    const auto firstBlock = [](std::uint32_t value) {
        return [=](std::string& b, const Layout& l) { lnkkit::Put32(b, l.blocks[0], value); };
    };
    const auto fillWide = [](std::string& b, const Layout& l) { std::fill_n(b.begin() + l.blocks[0] + 8 + 260, 520, 'w'); };
    const Damage damages[] = {
        {"an ID list item of 0xFFFF bytes in a 22-byte list", "idlist",
         [](std::string& b, const Layout& l) { lnkkit::Put16(b, l.idList + 2, 0xFFFF); }, false},
        {"an ID list item of one byte", "local", [](std::string& b, const Layout& l) { lnkkit::Put16(b, l.idList + 2, 1); }, false},
        {"an ID list item over the terminator", "idlist",
         [](std::string& b, const Layout& l) { lnkkit::Put16(b, l.idList + 2, 22); }, false},
        {"an ID list two bytes short of its terminator", "local",
         [](std::string& b, const Layout& l) { lnkkit::Put16(b, l.idList, (Le32(b, l.idList) & 0xFFFF) - 2); }, false},
        {"an ID list of one byte", "idlist", [](std::string& b, const Layout& l) { lnkkit::Put16(b, l.idList, 1); }, false},
        {"an ID list past the end", "idlist", [](std::string& b, const Layout& l) { lnkkit::Put16(b, l.idList, 0xFFFF); }, false},
        {"a link-info size near 4 GB", "local", linkInfoField(0, 0xFFFFFFF0), false},
        {"a link-info size of 0", "local", linkInfoField(0, 0), false},
        {"a link-info size below its header", "local", linkInfoField(0, 0x10), false},
        {"a link-info header over its size", "local", linkInfoField(4, 0x1000), false},
        {"a local path offset past the end", "local", linkInfoField(0x10, 0xFFFFFF00), false},
        {"a network link offset past the end", "unc", linkInfoField(0x14, 0x10000), false},
        {"a wide suffix offset past the end", "unicode", linkInfoField(0x20, 0x400), false},
        {"a volume size past the link info", "local",
         [](std::string& b, const Layout& l) { lnkkit::Put32(b, l.linkInfo + Le32(b, l.linkInfo + 0x0C), 0x1000); }, false},
        {"a network link size past the link info", "unc",
         [](std::string& b, const Layout& l) { lnkkit::Put32(b, l.linkInfo + Le32(b, l.linkInfo + 0x14), 0x1000); }, false},
        {"a last link-info string without its terminator", "local",
         [](std::string& b, const Layout& l) { b[l.linkInfo + Le32(b, l.linkInfo) - 1] = 'x'; }, false},
        {"a string count past the end", "long", [](std::string& b, const Layout& l) { lnkkit::Put16(b, l.strings, 0xFFFF); }, false},
        {"an environment block smaller than its layout", "environment", firstBlock(0x100), false},
        {"an installer identifier without its terminator", "advertised", fillWide, false},
        {"an unterminated block read as the installer's by its place", "advertised",
         [&](std::string& b, const Layout& l) { lnkkit::Put32(b, l.blocks[0] + 4, 0xA0000002), fillWide(b, l); }, false},
        {"a size below 8 stepped over to an unterminated block", "environment",
         [&](std::string& b, const Layout& l) { fillWide(b, l), b.insert(l.blocks[0], std::string("\x01\0\0\0", 4)); }, false},
        {"a header size of 0x4D", "local", [](std::string& b, const Layout&) { b[0] = 0x4D; }, false},
        {"another class id", "local", [](std::string& b, const Layout&) { b[4] = 0x02; }, false},

        {"an empty ID list", "idlist",
         [](std::string& b, const Layout& l) { b.erase(l.idList + 2, Le32(b, l.idList) & 0xFFFF), lnkkit::Put16(b, l.idList, 0); }, true},
        {"bytes after the ID list's terminator", "local",
         [](std::string& b, const Layout& l) { lnkkit::Put16(b, l.idList + 2, 0); }, true},
        {"a link-info header size below its fixed fields", "local", linkInfoField(4, 0x10), true},
        {"a first block of 2 GB, never read", "environment", firstBlock(0x7FFFFFFF), true},
        {"an unterminated block where no installer block is announced", "environment",
         [&](std::string& b, const Layout& l) { lnkkit::Put32(b, l.blocks[0] + 4, 0xA0000002), fillWide(b, l); }, true},
        {"bytes after the terminal block", "unicode", [](std::string& b, const Layout&) { b += std::string(40, '\xFF'); }, true},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        Layout layout;
        std::string bytes = lnkkit::Build(lnkkit::VariantNamed(damage.variant).parts, &layout);
        ASSERT_TRUE(Check(bytes));
        damage.apply(bytes, layout);
        EXPECT_EQ(damage.passes, Check(bytes));
        EXPECT_EQ(bytes[0] != 0x4C || damage.passes, MayGoToShell(bytes, "C:\\Menu\\x.pif"))
            << "a .pif that starts like a link is checked";
    }
}

TEST(LinkStructure, LinkInfoStringsAreReadAcrossTheWindow)
{
    for (std::size_t length : {4095u, 4096u, 4097u}) {
        SCOPED_TRACE(length);
        lnkkit::LinkParts parts = lnkkit::VariantNamed("local").parts;
        parts.idList.reset();
        parts.localBasePath = "C:\\" + std::string(length - 3, 'p');
        Layout layout;
        std::string bytes = lnkkit::Build(parts, &layout);
        EXPECT_TRUE(Check(bytes));
        const std::size_t end = layout.linkInfo + Le32(bytes, layout.linkInfo + 0x10) + length;
        ASSERT_EQ('\0', bytes[end]);
        bytes[end] = 'p';  // the path now runs into the suffix's terminator: still inside
        EXPECT_TRUE(Check(bytes));
        bytes[end + 1] = 's';  // and now into nothing
        EXPECT_FALSE(Check(bytes));
    }
}

TEST(LinkStructure, OnlyAFileThatStartsLikeALinkIsCheckedAsOneUnlessItIsNamedLnk)
{
    const std::string link = lnkkit::Build(lnkkit::VariantNamed("local").parts);
    const std::string program(545, '\x01');  // a program-information file
    struct Case {
        std::string bytes;
        const char* name;
        bool mayGo;
    };
    const Case cases[] = {
        {program, "C:\\M\\old.pif", true},  {program, "C:\\M\\old.PIF", true},
        {program, "C:\\M\\old.lnk", false}, {program, "C:\\M\\old.LNK", false},
        {"", "C:\\M\\empty.pif", true},     {"", "C:\\M\\empty.lnk", false},
        {"L", "C:\\M\\cut.lnk", false},     {link, "C:\\M\\link.pif", true},
        {link.substr(0, 0x4C), "C:\\M\\cut.pif", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.mayGo, MayGoToShell(c.bytes, c.name)) << c.name << ", " << c.bytes.size() << " bytes";
}

}  // namespace

// The environment block's stored target, for expanding another profile's
// variables: read from every kind that has one, nothing from the others or
// from a copy the check refuses.
TEST(LinkStructure, TheStoredEnvironmentTargetComesFromItsBlockOnly)
{
    for (const Variant& variant : lnkkit::Variants()) {
        SCOPED_TRACE(variant.name);
        const std::string bytes = lnkkit::Build(variant.parts);
        scan::MemoryByteSource source(bytes.data(), bytes.size());
        std::u16string stored;
        const bool found = scan::StoredEnvironmentTarget(source, stored);
        EXPECT_EQ(found, !variant.parts.environmentTarget.empty());
        EXPECT_EQ(std::string(stored.begin(), stored.end()), variant.parts.environmentTarget);

        scan::MemoryByteSource cut(bytes.data(), 0x4C);
        EXPECT_FALSE(scan::StoredEnvironmentTarget(cut, stored));
    }
}
