#include "ShellRetargeter.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>

#include "SystemPath.h"
#include "scan/Win32Text.h"

namespace cli {

namespace {

template <typename T>
class CReleasing {
public:
    CReleasing() = default;
    ~CReleasing()
    {
        if (m_p)
            m_p->Release();
    }
    CReleasing(const CReleasing&) = delete;
    CReleasing& operator=(const CReleasing&) = delete;
    T** Out() { return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};

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
    CReleasing<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(link.Out()));
    if (FAILED(hr)) {
        problem = Failed("the shell link service", hr);
        return false;
    }
    CReleasing<IPersistStream> persist;
    CReleasing<IStream> in;
    hr = link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(persist.Out()));
    if (SUCCEEDED(hr))
        hr = ::CreateStreamOnHGlobal(NULL, TRUE, in.Out());
    ULONG written = 0;
    if (SUCCEEDED(hr))
        hr = in->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    LARGE_INTEGER start = {};
    if (SUCCEEDED(hr))
        hr = in->Seek(start, STREAM_SEEK_SET, NULL);
    if (SUCCEEDED(hr))
        hr = persist->Load(in.Get());
    if (FAILED(hr)) {
        problem = Failed("reading the shortcut", hr);
        return false;
    }

    // A target kept with environment variables is what the shell reads
    // first: it goes, or the old target would stay in force.
    CReleasing<IShellLinkDataList> data;
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

    CReleasing<IStream> out;
    hr = ::CreateStreamOnHGlobal(NULL, TRUE, out.Out());
    if (SUCCEEDED(hr))
        hr = persist->Save(out.Get(), TRUE);
    STATSTG stat = {};
    if (SUCCEEDED(hr))
        hr = out->Stat(&stat, STATFLAG_NONAME);
    if (SUCCEEDED(hr) && stat.cbSize.QuadPart > 64u << 20)
        hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr))
        hr = out->Seek(start, STREAM_SEEK_SET, NULL);
    newBytes.assign(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
    ULONG read = 0;
    if (SUCCEEDED(hr) && !newBytes.empty())
        hr = out->Read(&newBytes[0], static_cast<ULONG>(newBytes.size()), &read);
    if (FAILED(hr) || read != newBytes.size()) {
        problem = Failed("writing the shortcut", FAILED(hr) ? hr : E_FAIL);
        return false;
    }

    // The shell must read back the target it was given.
    CReleasing<IStream> check;
    CReleasing<IShellLinkW> again;
    CReleasing<IPersistStream> againPersist;
    hr = ::CreateStreamOnHGlobal(NULL, TRUE, check.Out());
    if (SUCCEEDED(hr))
        hr = check->Write(newBytes.data(), static_cast<ULONG>(newBytes.size()), &written);
    if (SUCCEEDED(hr))
        hr = check->Seek(start, STREAM_SEEK_SET, NULL);
    if (SUCCEEDED(hr))
        hr = ::CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(again.Out()));
    if (SUCCEEDED(hr))
        hr = again->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(againPersist.Out()));
    if (SUCCEEDED(hr))
        hr = againPersist->Load(check.Get());
    text[0] = L'\0';
    if (SUCCEEDED(hr))
        hr = again->GetPath(text, MAX_PATH * 4, NULL, SLGP_RAWPATH);
    if (FAILED(hr) || !SameText(text, wideTarget)) {
        problem = "the shell does not read the new target back";
        return false;
    }
    return true;
}

}  // namespace cli
