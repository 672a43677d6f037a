// The scanner's host as the command sees it: every line for standard error
// is kept as a note for the report format and, unless held, passed on.
// Held (--summary), the lines reach standard error only if the run fails:
// a management console that shows a script's last line takes anything on
// standard error for a failure.
#ifndef VELTMOR_CLI_NOTEKEEPINGHOST_H
#define VELTMOR_CLI_NOTEKEEPINGHOST_H

#include <string>
#include <vector>

#include "ScanHost.h"

namespace cli {

class CNoteKeepingHost : public ScanHost {
public:
    explicit CNoteKeepingHost(ScanHost& host) : m_host(host) {}

    void Hold() { m_held = true; }
    // The held lines, to standard error after all.
    void Release()
    {
        for (const std::string& line : m_notes)
            m_host.WriteError(line);
        m_held = false;
    }
    const std::vector<std::string>& Notes() const { return m_notes; }

    void WriteError(const std::string& line) override
    {
        m_notes.push_back(line);
        if (!m_held)
            m_host.WriteError(line);
    }
    // Progress belongs to a console, never to a run whose output is a line.
    bool ProgressWanted() override { return !m_held && m_host.ProgressWanted(); }

    std::string LocationFolder(Location location) override { return m_host.LocationFolder(location); }
    std::string CurrentProfile() override { return m_host.CurrentProfile(); }
    std::vector<ProfileRecord> Profiles() override { return m_host.Profiles(); }
    bool MachineVariable(const std::string& name, std::string& value) override
    {
        return m_host.MachineVariable(name, value);
    }
    bool IsFolder(const std::string& path) override { return m_host.IsFolder(path); }
    MissingReason WhyNoTarget(const std::string& shortcut) override { return m_host.WhyNoTarget(shortcut); }
    bool RunsUnderWow64() override { return m_host.RunsUnderWow64(); }
    std::string MachineName() override { return m_host.MachineName(); }
    std::string UserName() override { return m_host.UserName(); }
    std::string UtcTime() override { return m_host.UtcTime(); }
    void ReadTargetsFor(const ProfileRecord* profile) override { m_host.ReadTargetsFor(profile); }
    bool WriteOutput(const std::string& text, Encoding encoding) override { return m_host.WriteOutput(text, encoding); }
    bool WriteOutputFile(const std::string& path, const std::string& text, std::string& problem) override
    {
        return m_host.WriteOutputFile(path, text, problem);
    }
    std::uint64_t Milliseconds() override { return m_host.Milliseconds(); }
    void ShowProgress(const std::string& line) override { m_host.ShowProgress(line); }

private:
    ScanHost& m_host;
    std::vector<std::string> m_notes;
    bool m_held = false;
};

}  // namespace cli

#endif
