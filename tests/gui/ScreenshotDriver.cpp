// Drives the real program for the README's pictures: fills the Start Menu
// of a throw-away Wine prefix with a few working and broken shortcuts,
// starts Veltmor, presses Scan, and tells the calling script where the
// window is so it can photograph it.
//
//   veltmor_shot PROGRAM READY_FILE DONE_FILE [all]
//
// READY_FILE receives "x y width height" of the window once the rows are
// shown; the driver then waits for DONE_FILE before closing the program.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "GuiHarness.h"
#include "resource.h"

namespace {

void FillStartMenu()
{
    char startMenu[MAX_PATH] = "";
    ::SHGetSpecialFolderPathA(nullptr, startMenu, CSIDL_STARTMENU, TRUE);
    const std::string root = startMenu;
    const std::string programs = root + "\\Programs";
    ::CreateDirectoryA(programs.c_str(), nullptr);
    ::CreateDirectoryA((programs + "\\Accessories").c_str(), nullptr);
    ::CreateDirectoryA((programs + "\\Old Games").c_str(), nullptr);

    char windows[MAX_PATH] = "";
    ::GetWindowsDirectoryA(windows, sizeof windows);
    const std::string win = windows;
    gui::SaveShortcut(programs + "\\Accessories\\Notepad.lnk", win + "\\notepad.exe");
    gui::SaveShortcut(programs + "\\Accessories\\Command Prompt.lnk", win + "\\system32\\cmd.exe");
    gui::SaveShortcut(programs + "\\Accessories\\Paint Shop.lnk", "C:\\Program Files\\Paint Shop\\psp.exe");
    gui::SaveShortcut(programs + "\\Old Games\\Pinball.lnk", "C:\\Program Files\\Pinball\\pinball.exe");
    gui::SaveShortcut(programs + "\\Old Games\\Adventure (CD).lnk", "R:\\SETUP\\ADVENT.EXE");
    gui::SaveShortcut(programs + "\\Old Games\\Readme.lnk", "C:\\Games\\Old\\readme.txt");
    gui::SaveShortcut(programs + "\\Registry Editor.lnk", win + "\\regedit.exe");
    gui::SaveShortcut(programs + "\\Team Share.lnk", "S:\\team\\tools\\sync.exe");
}

bool Exists(const char* path)
{
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: veltmor_shot PROGRAM READY_FILE DONE_FILE [all]\n");
        return 2;
    }
    const bool displayAll = argc > 4 && std::string(argv[4]) == "all";
    ::CoInitialize(nullptr);
    FillStartMenu();

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string commandLine = std::string("\"") + argv[1] + "\"";
    if (!::CreateProcessA(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi)) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        return 1;
    }
    const HWND window = gui::WaitForProcessWindow(pi.dwProcessId, "Veltmor Menu");
    if (!window) {
        std::fprintf(stderr, "the main window did not appear\n");
        return 1;
    }
    ::SetWindowPos(window, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    // A little wider than it opens, so the targets show.
    RECT rect;
    ::GetWindowRect(window, &rect);
    ::SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left + 140,
                   rect.bottom - rect.top + 40, SWP_NOMOVE | SWP_NOZORDER);
    if (displayAll)
        ::SendMessageA(::GetDlgItem(window, IDC_DISPLAY_ALL), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageA(::GetDlgItem(window, IDC_SCAN), BM_CLICK, 0, 0);
    ::Sleep(1500);

    ::GetWindowRect(window, &rect);
    if (FILE* ready = std::fopen(argv[2], "w")) {
        std::fprintf(ready, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top);
        std::fclose(ready);
    }
    for (int i = 0; i < 600 && !Exists(argv[3]); ++i)
        ::Sleep(100);

    ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return 0;
}
