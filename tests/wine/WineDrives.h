// The test prefix's drive R: is a CD-ROM and S: a network drive, but Wine
// says so only once its mount manager is up; until then every drive reads as
// fixed. The mount manager starts beside the first program of a prefix and,
// on a loaded machine, can take seconds: a test program waits for it before
// any test looks at a drive type.
#pragma once

#include <windows.h>

#include <cstdio>

namespace wintest {

inline void WaitForTestDrives()
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (::GetDriveTypeA("R:\\") == DRIVE_CDROM && ::GetDriveTypeA("S:\\") == DRIVE_REMOTE)
            return;
        if (::GetTickCount() - start > 60000) {
            std::fprintf(stderr, "drives R: and S: never read as CD-ROM and network\n");
            return;
        }
        ::Sleep(100);
    }
}

}  // namespace wintest
