#include "TempFolder.h"

#include <windows.h>

#include <cstdio>

#include "TestFiles.h"

namespace wintest {

namespace {

bool RemoveWide(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveWide(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

}  // namespace

CTempFolder::CTempFolder(const char* prefix)
{
    static unsigned counter = 0;
    char base[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, base);
    if (n == 0 || n >= MAX_PATH)
        return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%lx_%u", prefix,
                      static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
        const std::string path = std::string(base) + name;
        if (CreateDirectoryA(path.c_str(), NULL)) {
            m_path = path + "\\";
            return;
        }
    }
}

CTempFolder::~CTempFolder()
{
    if (!m_path.empty())
        RemoveTree(m_path);
}

bool CTempFolder::RemoveTree(const std::string& path)
{
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\')
        trimmed.pop_back();
    return RemoveWide(LongPath(trimmed));
}

}  // namespace wintest
