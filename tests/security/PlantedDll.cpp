// A stand-in for a DLL someone drops where a program may look for one. When
// loaded it appends its own path to the file that VELTMOR_MARK names, so a
// test sees whether, and from where, it ran. It exports CTL3D32's calls so a
// program that takes it for CTL3D32.DLL keeps it loaded.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char mark[MAX_PATH];
    char path[MAX_PATH + 2];
    const DWORD markLength = ::GetEnvironmentVariableA("VELTMOR_MARK", mark, sizeof mark);
    DWORD length = ::GetModuleFileNameA(self, path, MAX_PATH);
    if (markLength == 0 || markLength >= sizeof mark || length == 0 || length >= MAX_PATH)
        return TRUE;
    path[length++] = '\n';
    const HANDLE file = ::CreateFileA(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, path, length, &written, nullptr);
        ::CloseHandle(file);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI Ctl3dRegister(HINSTANCE)
{
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI Ctl3dAutoSubclass(HINSTANCE)
{
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI Ctl3dUnregister(HINSTANCE)
{
    return TRUE;
}
