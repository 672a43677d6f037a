// Our structure check against the shell's own reader: for every kind of
// shortcut the kit builds, cut at every length and padded, the reader with
// the check gives what the shell gives without it, save for the files the
// check exists to keep away from the shell.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "ComOwner.h"
#include "TempFolder.h"
#include "TestFiles.h"
#include "scan/ShortcutReader.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using wintest::CComOwner;

// The target the shell alone gives: IPersistFile::Load, then
// IShellLinkW::GetPath; "" when the load fails.
std::string ShellAlone(IClassFactory* maker, const std::wstring& path)
{
    CComOwner<IShellLinkW> link;
    CComOwner<IPersistFile> file;
    if (FAILED(maker->CreateInstance(NULL, IID_IShellLinkW, link.Out())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) {
        ADD_FAILURE() << "no shell link object";
        return "?";
    }
    if (FAILED(file->Load(path.c_str(), STGM_READ)))
        return "";
    WCHAR wide[MAX_PATH] = {};
    link->GetPath(wide, MAX_PATH, NULL, 0);
    char target[2 * MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, target, sizeof target, NULL, NULL);
    return target;
}

// The target our reader gives: the check, then the shell.
std::string WithCheck(IClassFactory* maker, const std::string& path)
{
    scan::COpenShortcut shortcut;
    if (FAILED(scan::OpenShortcut(NULL, path.c_str(), shortcut, maker)))
        return "";
    char target[scan::kPathBuffer];
    scan::ReadTarget(shortcut, nullptr, target);
    return target;
}

// True when file holds whole one of the original's blocks of text (260
// narrow then 260 wide characters: variables, installer), its size and
// signature as they were, with a field the padding left without its
// terminator: the shell's readers copy those fields without a bound.
bool TextBlockLeftOpen(const std::string& original, const lnkkit::Layout& layout, const std::string& file)
{
    for (std::size_t block : layout.blocks) {
        if (original.compare(block, 4, std::string("\x14\x03\0\0", 4)) != 0 || file.size() < block + 0x314 ||
            file.compare(block, 8, original, block, 8) != 0)
            continue;
        bool wideEnds = false;
        for (std::size_t i = block + 268; i < block + 0x314 && !wideEnds; i += 2)
            wideEnds = file[i] == '\0' && file[i + 1] == '\0';
        if (file.find('\0', block + 8) >= block + 268 || !wideEnds)
            return true;
    }
    return false;
}

TEST(ShellAgreement, TheCheckRefusesOnlyWhatWouldLeadTheShellAstray)
{
    wintest::CTempFolder dir("sa");
    ASSERT_FALSE(dir.Path().empty());
    const std::string path = dir / "case.lnk";
    const std::wstring widePath(path.begin(), path.end());
    CComOwner<IClassFactory> maker;
    ASSERT_HRESULT_SUCCEEDED(
        CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, NULL, IID_IClassFactory, maker.Out()));

    lnkkit::Layout localLayout;
    const std::string local = lnkkit::Build(lnkkit::VariantNamed("local").parts, &localLayout);
    const std::string paddings[] = {
        "",
        std::string(3, '\0'),      // a size cut short
        std::string(0x320, '\xFF'),  // enough to complete any block, then a size over 64 KB
        local.substr(localLayout.blocks[0], localLayout.blocks[1] - localLayout.blocks[0]),  // a tracker block
    };

    int compared = 0, refused = 0;
    for (const lnkkit::Variant& variant : lnkkit::Variants()) {
        lnkkit::Layout layout;
        const std::string bytes = lnkkit::Build(variant.parts, &layout);
        const std::size_t extraData = layout.blocks.front();
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            for (const std::string& padding : paddings) {
                // Padding before the extra data would become part of a
                // section the header announces, sizes included.
                if (cut < extraData && !padding.empty())
                    break;
                const std::string file = bytes.substr(0, cut) + padding;
                ASSERT_TRUE(wintest::WriteBytes(path, file));
                const bool sectionCut = cut >= 0x4C && cut < extraData;  // an announced size runs past the end
                if (sectionCut || TextBlockLeftOpen(bytes, layout, file)) {
                    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BAD_FORMAT), scan::CheckShortcutFile(path.c_str()))
                        << variant.name << " cut at " << cut << " + " << padding.size() << " bytes";
                    ++refused;
                    continue;
                }
                EXPECT_EQ(ShellAlone(maker.Get(), widePath), WithCheck(maker.Get(), path))
                    << variant.name << " cut at " << cut << " of " << bytes.size() << " + " << padding.size()
                    << " bytes";
                ++compared;
            }
        }
    }
    RecordProperty("compared", compared);
    RecordProperty("refused", refused);
}

}  // namespace
