#include "ShellRetargeter.h"

#include <cstdio>

#include "MemoryLink.h"
#include "SystemPath.h"
#include "scan/Win32Text.h"

namespace cli {

namespace {

std::string Failed(const char* what, HRESULT hr)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (0x%08lx)", what, static_cast<unsigned long>(hr));
    return text;
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

// path with folder's part replaced by to, when path lies inside folder
// (compared without case, as Windows names are); empty otherwise.
std::wstring Moved(const std::wstring& path, const std::wstring& folder, const std::wstring& to)
{
    if (folder.empty() || path.size() <= folder.size() || path[folder.size()] != L'\\' ||
        !SameText(path.substr(0, folder.size()), folder))
        return std::wstring();
    return to + path.substr(folder.size());
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(SystemPath(scan::Narrow(path, CP_UTF8)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool CShellRetargeter::Retarget(const std::string& bytes, const std::string& target, const std::string& oldFolder,
                                const std::string& newFolder, std::string& newBytes, std::string& problem)
{
    CMemoryLink link;
    HRESULT hr = link.Load(bytes);
    if (FAILED(hr)) {
        problem = Failed("reading the shortcut", hr);
        return false;
    }

    // A target kept with environment variables is what the shell reads
    // first: it goes, or the old target would stay in force.
    CComHeld<IShellLinkDataList> data;
    if (SUCCEEDED(link->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(data.Out())))) {
        DWORD flags = 0;
        if (SUCCEEDED(data->GetFlags(&flags)) && (flags & SLDF_HAS_EXP_SZ)) {
            data->RemoveDataBlock(EXP_SZ_LINK_SIG);
            data->SetFlags(flags & ~static_cast<DWORD>(SLDF_HAS_EXP_SZ));
        }
    }

    const std::wstring wideTarget = scan::Widen(target, CP_UTF8);
    const std::wstring from = scan::Widen(oldFolder, CP_UTF8), to = scan::Widen(newFolder, CP_UTF8);
    wchar_t text[MAX_PATH * 4] = L"";
    int icon = 0;
    std::wstring workingDir, iconPath;
    if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH * 4)))
        workingDir = text;
    text[0] = L'\0';
    if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH * 4, &icon)))
        iconPath = text;

    hr = link->SetPath(wideTarget.c_str());
    if (FAILED(hr)) {
        problem = Failed("setting the target", hr);
        return false;
    }
    const std::wstring movedDir = Moved(workingDir, from, to);
    if (!movedDir.empty() && Exists(movedDir))
        link->SetWorkingDirectory(movedDir.c_str());
    const std::wstring movedIcon = Moved(iconPath, from, to);
    if (!movedIcon.empty() && Exists(movedIcon))
        link->SetIconLocation(movedIcon.c_str(), icon);
    hr = link.Save(newBytes);
    if (FAILED(hr)) {
        problem = Failed("writing the shortcut", hr);
        return false;
    }

    // The shell must read back the target it was given.
    CMemoryLink again;
    text[0] = L'\0';
    hr = again.Load(newBytes);
    if (SUCCEEDED(hr))
        hr = again->GetPath(text, MAX_PATH * 4, NULL, SLGP_RAWPATH);
    if (FAILED(hr) || !SameText(text, wideTarget)) {
        problem = "the shell does not read the new target back";
        return false;
    }
    return true;
}

}  // namespace cli
