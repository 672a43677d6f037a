// The program folder rule the fleet page and the search for a moved target
// share: the folder directly below one that holds programs, else the path's
// own folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/ProgramFolder.h"
#include "scan/WinPath.h"

namespace {

TEST(ProgramFolder, TheFolderDirectlyBelowAFolderOfPrograms)
{
    // A machine whose program files folder is D:\Apps, then the usual ones.
    std::vector<scan::ProgramsFolder> folders{{"D:", {"Apps"}, true}};
    folders.insert(folders.end(), scan::StandardProgramsFolders().begin(), scan::StandardProgramsFolders().end());
    struct {
        const char* path;
        const char* folder;  // "": none
        const char* within;
    } const cases[] = {
        {"C:\\Program Files\\Foo Corp\\Foo\\foo.exe", "C:\\Program Files\\Foo Corp", "program files"},
        {"c:\\PROGRAM FILES (X86)\\Vendor\\a.exe", "c:\\PROGRAM FILES (X86)\\Vendor", "program files"},
        {"C:\\Users\\bob\\appdata\\LOCAL\\Programs\\Chat\\bin\\chat.exe", "C:\\Users\\bob\\appdata\\LOCAL\\Programs\\Chat",
         "a user's"},
        {"D:\\Program Files\\tool.exe", "D:\\Program Files", "its own"},
        {"C:\\Program Filesystem\\x\\y.exe", "C:\\Program Filesystem\\x", "its own"},
        {"d:\\apps\\Tool 2\\bin\\t.exe", "d:\\apps\\Tool 2", "program files"},
        {"C:\\Apps\\Tool 2\\bin\\t.exe", "C:\\Apps\\Tool 2\\bin", "its own"},
        {"\\\\server\\share\\Program Files\\App\\app.exe", "\\\\server\\share\\Program Files\\App", "program files"},
        {"\\\\server\\share\\apps\\erp.exe", "\\\\server\\share\\apps", "its own"},
        {"C:\\erp.exe", "", "none"},
    };
    for (const auto& c : cases) {
        std::string root;
        std::vector<std::string> names;
        ASSERT_TRUE(scan::SplitFullPath(c.path, root, names)) << c.path;
        const scan::ProgramPlace place = scan::LocateProgram(root, names, folders);
        const std::string folder =
            place.program == std::string::npos ? "" : root + "\\" + scan::JoinPathParts(names, 0, place.program + 1);
        const std::string within = place.within ? (place.within->programFiles ? "program files" : "a user's")
                                   : place.program == std::string::npos ? "none" : "its own";
        EXPECT_EQ(c.folder, folder) << c.path;
        EXPECT_EQ(c.within, within) << c.path;
    }
}

}  // namespace
