#include "WholeFile.h"

#include <algorithm>
#include <cwchar>

namespace cli {

namespace {

// A name that no earlier run used: the process, the time and a counter.
std::wstring TemporaryName(const std::wstring& path, unsigned attempt)
{
    static LONG counter = 0;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    wchar_t suffix[64];
    std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".%lx-%lx-%lx-%x.tmp",
                  static_cast<unsigned long>(::GetCurrentProcessId()), static_cast<unsigned long>(now.dwLowDateTime),
                  static_cast<unsigned long>(::InterlockedIncrement(&counter)), attempt);
    return path + suffix;
}

bool Fail(DWORD& error)
{
    error = ::GetLastError();
    return false;
}

}  // namespace

bool WriteWholeFile(const std::wstring& path, const std::string& bytes, DWORD& error)
{
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = TemporaryName(path, attempt);
        file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            return Fail(error);
    }
    if (file == INVALID_HANDLE_VALUE)
        return Fail(error);
    // On the disk before it takes the final name.
    bool written = WriteAll(file, bytes) && ::FlushFileBuffers(file);
    if (!written)
        error = ::GetLastError();
    ::CloseHandle(file);
    if (written &&
        ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (written)
        error = ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    return false;
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20));
        if (!::WriteFile(file, bytes.data() + at, chunk, &n, NULL) || n == 0)
            return false;
        at += n;
    }
    return true;
}

}  // namespace cli
