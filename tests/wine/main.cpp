// The Wine test program: COM is set up once on the main thread, as the main
// dialog does, before any shortcut is read.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "WineDrives.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const HRESULT hr = CoInitialize(NULL);
    if (FAILED(hr)) {
        std::fprintf(stderr, "CoInitialize failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    wintest::WaitForTestDrives();
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
