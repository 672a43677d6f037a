// Who may change a folder or file, read from the system: each object opened
// by handle without following a link, its descriptor turned into SDDL text
// for the portable rules (cli/Trust.h); and whether this run is elevated.
#ifndef VELTMOR_CLI_WIN32_WIN32TRUST_H
#define VELTMOR_CLI_WIN32_WIN32TRUST_H

#include <windows.h>

#include <string>
#include <vector>

#include "cli/Trust.h"

namespace cli {

// The owner and access list of an object already open (with READ_CONTROL
// and FILE_READ_ATTRIBUTES), as SDDL; State::Link when it is a reparse
// point. For a caller that holds the folder it will act in: judged through
// the very handle it then uses.
ObjectSecurity ReadSecurity(HANDLE object);

class CWin32SecurityReader : public SecurityReader {
public:
    bool Elevated() override;
    std::string UserSid() override;
    std::vector<std::string> MachineAccounts() override;
    bool ModeDescriptors() override;
    ObjectSecurity Read(const std::string& path) override;
    std::string AccountName(const std::string& sid) override;
};

}  // namespace cli

#endif
