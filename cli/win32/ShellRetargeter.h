// Retargets a shortcut's bytes through IShellLinkW and IPersistStream on
// memory streams: the shell reads and writes the format, and the file
// itself is written only by the caller, once it knows it is unchanged.
#ifndef VELTMOR_CLI_SHELLRETARGETER_H
#define VELTMOR_CLI_SHELLRETARGETER_H

#include "cli/quarantine/Retargeter.h"

namespace cli {

class CShellRetargeter : public Retargeter {
public:
    bool Retarget(const std::string& bytes, const std::string& target, const std::string& oldFolder,
                  const std::string& newFolder, std::string& newBytes, std::string& problem) override;
};

}  // namespace cli

#endif
