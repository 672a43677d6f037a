#include "ProcessHardening.h"

#include <cstring>

namespace {

template <typename Fn>
Fn KernelFunction(const char* name)
{
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name))) : nullptr;
}

}  // namespace

void AfxHardenProcess()
{
    // SetErrorMode answers the mode it replaces; GetErrorMode is Vista's.
    const UINT previous = ::SetErrorMode(0);
    ::SetErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    // Windows 8, and 7 or Vista with update KB2533623.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    if (auto setDefault = KernelFunction<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories"))
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // XP SP1 and later: an empty string takes the current folder out of the
    // search where the call above is missing.
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    if (auto setDirectory = KernelFunction<SetDllDirectoryFn>("SetDllDirectoryA"))
        setDirectory("");
}

HMODULE AfxLoadSystemLibrary(const char* name)
{
    char path[MAX_PATH];
    const UINT folder = ::GetSystemDirectoryA(path, MAX_PATH);
    const std::size_t length = std::strlen(name);
    if (folder == 0 || folder + 1 + length >= MAX_PATH)
        return nullptr;
    path[folder] = '\\';
    std::memcpy(path + folder + 1, name, length + 1);
    // The DLL's own imports are then looked for beside it first, in the
    // system folder, also where the search could not be narrowed.
    return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
