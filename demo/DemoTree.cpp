// Makes a small Start Menu to show the scan on a machine whose own Start
// Menu holds no shortcut: working shortcuts, broken ones, one into the
// CD-ROM drive R: and an old .pif, all written by the shell itself.
//   veltmor_demo_tree FOLDER     (FOLDER is made; it must not exist yet)
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "TestFiles.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: veltmor_demo_tree FOLDER\n");
        return 2;
    }
    const std::string root = std::string(argv[1]) + "\\";
    if (FAILED(::CoInitialize(NULL)))
        return 1;

    struct Shortcut {
        const char* path;
        const char* target;
    };
    const Shortcut shortcuts[] = {
        {"Notepad.lnk", "C:\\windows\\notepad.exe"},
        {"Old Game\\Play Old Game.lnk", "C:\\Program Files\\Old Game\\game.exe"},
        {"Old Game\\Old Game on CD.lnk", "R:\\setup.exe"},
        {"Accessories\\Command Prompt.lnk", "C:\\windows\\system32\\cmd.exe"},
        {"Accessories\\Removed Tool.lnk", "C:\\Tools\\removed.exe"},
        {"Accessories\\DOS Editor.pif", "C:\\DOS\\edit.com"},
    };
    int status = 0;
    for (const Shortcut& s : shortcuts) {
        const std::string path = root + s.path;
        const std::string folder = path.substr(0, path.find_last_of('\\'));
        ::CreateDirectoryA(root.c_str(), NULL);
        ::CreateDirectoryA(folder.c_str(), NULL);
        if (FAILED(wintest::WriteShortcut(path, s.target))) {
            std::fprintf(stderr, "veltmor_demo_tree: cannot write %s\n", path.c_str());
            status = 1;
        }
    }
    ::CoUninitialize();
    return status;
}
