// Entry point of the GUI test programs: the process state the program's own
// WinMain would set up (common controls, COM on the main thread, the one
// application object), then GoogleTest.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "framework/Framework.h"
#include "../wine/WineDrives.h"

namespace {
CWinApp g_testApp;
}

int main(int argc, char** argv)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    ::CoInitialize(nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    wintest::WaitForTestDrives();
    return RUN_ALL_TESTS();
}
