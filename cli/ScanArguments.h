// The scanner's command line:
//   veltmor-scan [--all] [--include-removable] [--format text|csv|json] [FOLDER...]
#ifndef VELTMOR_CLI_SCANARGUMENTS_H
#define VELTMOR_CLI_SCANARGUMENTS_H

#include <string>
#include <vector>

namespace cli {

enum class OutputFormat { Text, Csv, Json };

struct ScanArguments {
    enum class Action { Scan, Help, Version, Refuse };

    Action action = Action::Scan;
    bool displayAll = false;       // --all: the dialog's "Display All Items"
    bool ignoreRemovable = true;   // cleared by --include-removable
    OutputFormat format = OutputFormat::Text;
    std::vector<std::string> folders;  // in the order given; none: the Start Menu
    std::string problem;               // Refuse: what is wrong, in one line

    // args: the arguments after the program's name. Read left to right;
    // --help and --version win over whatever follows them, the first
    // mistake wins over everything.
    static ScanArguments Parse(const std::vector<std::string>& args);

    // The text --help prints.
    static const char* Usage();
};

}  // namespace cli

#endif
