// Runs a program as a child process with its standard output and error on
// pipes, the way a management tool runs the scanner and collects its output.
#ifndef VELTMOR_TESTS_CLI_CHILDPROCESS_H
#define VELTMOR_TESTS_CLI_CHILDPROCESS_H

#include <windows.h>

#include <string>
#include <vector>

namespace clitest {

struct ChildResult {
    bool started = false;   // false: the program could not be started at all
    DWORD status = 0xFFFFFFFF;  // the exit status
    std::string out;        // standard output, byte for byte
    std::string err;        // standard error
};

// exe: a Windows path. Each argument is quoted for the C runtime's parser,
// so the child's argv is args exactly. Waits for the child to end.
ChildResult RunChild(const std::string& exe, const std::vector<std::string>& args);

// One argument as the C runtime's parser will read it back.
std::string QuoteArgument(const std::string& arg);

}  // namespace clitest

#endif
