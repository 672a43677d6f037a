// Where --suggest looks, over the wide Win32 calls and the registry: file
// facts with their volume's serial, the fixed drives, folder names, the
// program files folders, App Paths and the uninstall entries, and the
// shell's own resolution of a shortcut, read from its bytes in memory so
// that the file itself is never touched.
#ifndef VELTMOR_CLI_WIN32SUGGESTSOURCE_H
#define VELTMOR_CLI_WIN32SUGGESTSOURCE_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/suggest/Suggest.h"

namespace cli {

class CWin32SuggestSource : public SuggestSource {
public:
    bool Facts(const std::string& path, FileFacts& facts) override;
    std::vector<std::string> FixedDrives() override;
    std::vector<std::string> SubFolders(const std::string& folder, std::size_t limit) override;
    std::vector<std::string> ProgramFilesFolders() override;
    std::vector<std::string> RegisteredPaths(const std::string& fileName) override;
    std::vector<InstalledProgram> InstalledPrograms() override;
    bool ShellResolve(const std::string& bytes, std::string& target) override;

private:
    std::map<std::string, std::pair<bool, unsigned>> m_serials;  // by root: known, serial
    std::unique_ptr<std::vector<std::string>> m_fixedDrives;
    std::unique_ptr<std::vector<InstalledProgram>> m_installed;
    std::map<std::string, std::vector<std::string>> m_subFolders;  // by folder and limit
    std::unique_ptr<std::map<std::wstring, std::vector<std::string>>> m_appPaths;  // by file name, upper case
};

}  // namespace cli

#endif
