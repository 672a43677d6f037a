// The write times a snapshot list records, read by path without opening
// the file (GetFileAttributesExW: no handle, nothing followed for a file).
#ifndef VELTMOR_CLI_WIN32_WIN32FILETIMES_H
#define VELTMOR_CLI_WIN32_WIN32FILETIMES_H

#include "cli/snapshot/Snapshot.h"

namespace cli {

class CWin32FileTimes : public FileTimes {
public:
    std::string WriteTime(const std::string& path) override;
};

}  // namespace cli

#endif
