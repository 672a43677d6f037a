// The scanner's system side over the real wide Win32 calls; all text UTF-8.
// On a console, text goes out through WriteConsoleW, so the console shows
// every name whatever its code page; to a pipe or file, the bytes go out in
// the code page asked for. COM must be initialised on the calling thread
// (WhyNoTarget reads shortcuts).
#ifndef VELTMOR_CLI_WIN32_WIN32SCANHOST_H
#define VELTMOR_CLI_WIN32_WIN32SCANHOST_H

#include <windows.h>

#include <string>

#include "WideScanFileSystem.h"
#include "cli/ScanHost.h"

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
    std::string MachineName() override;
    std::string UserName() override;
    std::string UtcTime() override;
    void ReadTargetsFor(const ProfileRecord* profile) override;
    bool WriteOutput(const std::string& text, Encoding encoding) override;
    bool WriteOutputFile(const std::string& path, const std::string& text, std::string& problem) override;
    void WriteError(const std::string& line) override;
    bool ProgressWanted() override;
    std::uint64_t Milliseconds() override;
    void ShowProgress(const std::string& line) override;

    // What the scan's file systems share with this host.
    CReadContext& Context() { return m_context; }

private:
    static bool Write(HANDLE stream, const std::string& text, UINT codePage);

    HANDLE m_output;  // the process's standard handles: we don't own them
    HANDLE m_error;
    std::size_t m_progressShown = 0;  // characters of the progress line on the console
    CReadContext m_context;
};

}  // namespace cli

#endif
