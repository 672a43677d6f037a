// The scanner's system side in memory: folders, the shell's locations, the
// registry's profiles, the reasons a re-read would give, a console or not,
// a clock that moves when asked, and captured streams and output files.
#ifndef VELTMOR_TESTS_NATIVE_FAKESCANHOST_H
#define VELTMOR_TESTS_NATIVE_FAKESCANHOST_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/ScanHost.h"

namespace fake {

class FakeScanHost : public cli::ScanHost {
public:
    std::set<std::string> folders;
    std::string startMenu;
    std::map<cli::Location, std::string> locations;  // the others
    std::string currentProfile;
    std::vector<cli::ProfileRecord> profiles;
    std::map<std::string, std::string> machine;
    std::map<std::string, cli::MissingReason> reasons;  // by shortcut; Unreadable otherwise
    bool wow64 = false;
    std::string machineName = "PC-1", userName = "CONTOSO\\alice", utcTime = "2026-12-07T21:05:11Z";
    bool console = false;
    std::uint64_t now = 0;
    std::uint64_t tick = 0;  // how far the clock moves at each reading
    bool outputFails = false;

    std::string output;
    std::vector<Encoding> outputEncodings;
    std::vector<std::string> errors;
    std::vector<std::string> reread;    // WhyNoTarget's shortcuts, in order
    std::vector<std::string> progress;  // each ShowProgress, in order
    std::map<std::string, std::string> files;  // WriteOutputFile's, by path
    std::vector<std::string> readTargetsFor;  // each ReadTargetsFor's profile folder, "" for none

    std::string LocationFolder(cli::Location location) override
    {
        if (location == cli::Location::StartMenu)
            return startMenu;
        const auto found = locations.find(location);
        return found == locations.end() ? std::string() : found->second;
    }
    std::string CurrentProfile() override { return currentProfile; }
    std::vector<cli::ProfileRecord> Profiles() override { return profiles; }
    bool MachineVariable(const std::string& name, std::string& value) override
    {
        const auto found = machine.find(name);
        if (found == machine.end())
            return false;
        value = found->second;
        return true;
    }
    bool IsFolder(const std::string& path) override { return folders.count(path) != 0; }
    cli::MissingReason WhyNoTarget(const std::string& shortcut) override
    {
        reread.push_back(shortcut);
        const auto found = reasons.find(shortcut);
        return found == reasons.end() ? cli::MissingReason::Unreadable : found->second;
    }
    bool RunsUnderWow64() override { return wow64; }
    std::string MachineName() override { return machineName; }
    std::string UserName() override { return userName; }
    std::string UtcTime() override { return utcTime; }
    void ReadTargetsFor(const cli::ProfileRecord* profile) override
    {
        readTargetsFor.push_back(profile ? profile->folder : std::string());
    }
    bool WriteOutput(const std::string& text, Encoding encoding) override
    {
        outputEncodings.push_back(encoding);
        if (outputFails)
            return false;
        output += text;
        return true;
    }
    bool WriteOutputFile(const std::string& path, const std::string& text, std::string& problem) override
    {
        if (outputFails) {
            problem = "Access is denied (error 5)";
            return false;
        }
        files[path] = text;
        return true;
    }
    void WriteError(const std::string& line) override { errors.push_back(line); }
    bool ProgressWanted() override { return console; }
    std::uint64_t Milliseconds() override { return now += tick; }
    void ShowProgress(const std::string& line) override { progress.push_back(line); }

    void Clear()
    {
        output.clear();
        outputEncodings.clear();
        errors.clear();
        reread.clear();
        progress.clear();
        files.clear();
        readTargetsFor.clear();
    }
};

}  // namespace fake

#endif
