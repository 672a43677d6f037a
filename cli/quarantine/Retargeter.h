// The one change a repair makes to a shortcut: its target. Kept free of
// <windows.h>; the system side goes through the shell link service.
#ifndef VELTMOR_CLI_RETARGETER_H
#define VELTMOR_CLI_RETARGETER_H

#include <string>

namespace cli {

class Retargeter {
public:
    virtual ~Retargeter() = default;

    // bytes: a shortcut file. newBytes: the same shortcut with its target
    // set to target and nothing else changed (arguments, description,
    // hotkey, show command, and the rest), except that a working folder or
    // icon that lay inside oldFolder follows to newFolder when it exists
    // there. False, with the problem, when the shell cannot do it.
    virtual bool Retarget(const std::string& bytes, const std::string& target, const std::string& oldFolder,
                          const std::string& newFolder, std::string& newBytes, std::string& problem) = 0;
};

}  // namespace cli

#endif
