// The scanner's system side over the real Win32 calls. On a console, text
// goes out through WriteConsoleW, so the console shows the names as the
// dialog does whatever its code page; to a pipe or file, the bytes go out as
// they are: system code page text for text and CSV, UTF-8 for JSON. COM must
// be initialised on the calling thread (WhyNoTarget reads shortcuts).
#ifndef VELTMOR_CLI_WIN32SCANHOST_H
#define VELTMOR_CLI_WIN32SCANHOST_H

#include <windows.h>

#include "ScanHost.h"

namespace cli {

class CWin32ScanHost : public ScanHost {
public:
    CWin32ScanHost();

    std::string LocationFolder(Location location) override;
    std::string CurrentProfile() override;
    std::vector<ProfileRecord> Profiles() override;
    bool MachineVariable(const std::string& name, std::string& value) override;
    bool IsFolder(const std::string& path) override;
    MissingReason WhyNoTarget(const std::string& shortcut) override;
    bool RunsUnderWow64() override;
    std::string AnsiToUtf8(const std::string& ansi) override;
    bool WriteOutput(const std::string& text, Encoding encoding) override;
    void WriteError(const std::string& line) override;
    bool ProgressWanted() override;
    std::uint64_t Milliseconds() override;
    void ShowProgress(const std::string& line) override;

private:
    static bool Write(HANDLE stream, const std::string& text, UINT codePage);

    HANDLE m_output;  // the process's standard handles: we don't own them
    HANDLE m_error;
    std::size_t m_progressShown = 0;  // characters of the progress line on the console
};

// Why a shortcut gave no target, read again through the shell link
// service: Unreadable when it does not open, InstallerManaged when it
// carries a darwin identifier (SLDF_HAS_DARWINID), NoFileTarget otherwise.
MissingReason ReadWhyNoTarget(const char* shortcutPath);

}  // namespace cli

#endif
