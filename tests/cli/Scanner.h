// The scanner under test: VELTMOR_SCANNER (a Unix path, set by CTest) as
// the program sees it, and one run of it as a child process.
#ifndef VELTMOR_TESTS_CLI_SCANNER_H
#define VELTMOR_TESTS_CLI_SCANNER_H

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TestFiles.h"

namespace clitest {

inline std::string Scanner()
{
    const std::string unixPath = wintest::Environment("VELTMOR_SCANNER");
    return unixPath.empty() ? std::string() : wintest::UnixToWindows(unixPath);
}

inline ChildResult RunScanner(const std::vector<std::string>& args)
{
    return RunChild(Scanner(), args);
}

}  // namespace clitest

#endif
