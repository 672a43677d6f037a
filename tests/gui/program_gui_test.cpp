// The program itself: its own process starts, shows the main dialog and
// ends when the dialog is closed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "GuiHarness.h"

namespace {

// The program's path as this process sees it: the build gives a Unix path,
// which Wine shows through the Z: drive.
std::string ProgramPath()
{
    char unixPath[MAX_PATH] = "";
    if (!::GetEnvironmentVariableA("VELTMOR_PROGRAM", unixPath, sizeof unixPath))
        return "";
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

TEST(Program, StartsShowsTheMainDialogAndEndsWhenItCloses)
{
    const std::string program = ProgramPath();
    ASSERT_FALSE(program.empty()) << "VELTMOR_PROGRAM is not set";
    ASSERT_NE(::GetFileAttributesA(program.c_str()), INVALID_FILE_ATTRIBUTES) << program;

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string commandLine = "\"" + program + "\"";
    ASSERT_TRUE(::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &si, &pi));

    const HWND window = gui::WaitForProcessWindow(pi.dwProcessId, "Veltmor Menu");
    ASSERT_NE(window, nullptr) << "no window titled \"Veltmor Menu\"";

    // Its own task-bar button, sizing border, no minimize or maximize box.
    const LONG_PTR style = ::GetWindowLongPtrA(window, GWL_STYLE);
    EXPECT_TRUE(::GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    // Enter (IDOK) leaves it open; the close box's command ends it.
    ::PostMessageA(window, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 1000), static_cast<DWORD>(WAIT_TIMEOUT));
    ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0) << "the process did not end";
    DWORD code = 1234;
    ::GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}

}  // namespace
