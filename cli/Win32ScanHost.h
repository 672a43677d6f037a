// The scanner's system side over the real Win32 calls. On a console, text
// goes out through WriteConsoleW, so the console shows the names as the
// dialog does whatever its code page; to a pipe or file, the bytes go out as
// they are: system code page text for text and CSV, UTF-8 for JSON.
#ifndef VELTMOR_CLI_WIN32SCANHOST_H
#define VELTMOR_CLI_WIN32SCANHOST_H

#include <windows.h>

#include "ScanHost.h"

namespace cli {

class CWin32ScanHost : public ScanHost {
public:
    CWin32ScanHost();

    std::string StartMenuFolder() override;
    bool IsFolder(const std::string& path) override;
    std::string AnsiToUtf8(const std::string& ansi) override;
    bool WriteOutput(const std::string& text, Encoding encoding) override;
    void WriteError(const std::string& line) override;

private:
    static bool Write(HANDLE stream, const std::string& text, UINT codePage);

    HANDLE m_output;  // the process's standard handles: we don't own them
    HANDLE m_error;
};

}  // namespace cli

#endif
