#include "TestFiles.h"

#include <shlobj.h>

#include <vector>

#include "ComOwner.h"

namespace wintest {

namespace {

HRESULT Save(IShellLinkA* link, const std::string& linkPath)
{
    CComOwner<IPersistFile> file;
    HRESULT hr = link->QueryInterface(IID_IPersistFile, file.Out());
    if (FAILED(hr))
        return hr;
    WCHAR wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH))
        return HRESULT_FROM_WIN32(GetLastError());
    return file->Save(wide, TRUE);
}

}  // namespace

HRESULT WriteShortcut(const std::string& linkPath, const std::string& targetPath,
                      const char* description, const char* arguments)
{
    CComOwner<IShellLinkA> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  link.Out());
    if (FAILED(hr))
        return hr;
    // S_FALSE when the target does not exist: the path is stored as given.
    hr = link->SetPath(targetPath.c_str());
    if (FAILED(hr))
        return hr;
    if (description && FAILED(hr = link->SetDescription(description)))
        return hr;
    if (arguments && FAILED(hr = link->SetArguments(arguments)))
        return hr;
    return Save(link.Get(), linkPath);
}

HRESULT WriteShortcutToShellFolder(const std::string& linkPath, int csidl)
{
    CComOwner<IShellLinkA> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  link.Out());
    if (FAILED(hr))
        return hr;
    LPITEMIDLIST item = nullptr;
    if (FAILED(hr = SHGetSpecialFolderLocation(NULL, csidl, &item)))
        return hr;
    hr = link->SetIDList(item);
    CoTaskMemFree(item);
    if (FAILED(hr))
        return hr;
    return Save(link.Get(), linkPath);
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() ||
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool MakeFile(const std::string& path)
{
    return WriteBytes(path, std::string());
}

bool ReadBytes(const std::string& path, std::string& bytes)
{
    bytes.clear();
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char chunk[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, NULL) != FALSE) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return ok;
}

std::string WideBytes(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "<absent>";
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool LastWriteTime(const std::string& path, FILETIME& time)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    time = data.ftLastWriteTime;
    return true;
}

std::wstring LongPath(const std::string& path)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, NULL, 0);
    if (n <= 0)
        return std::wstring();
    std::vector<WCHAR> wide(n);
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), n);
    return L"\\\\?\\" + std::wstring(wide.data());
}

std::string UnixToWindows(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string Environment(const char* name)
{
    char value[32768];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

}  // namespace wintest
