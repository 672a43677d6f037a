// What the scanner needs from the system besides the scan itself: where the
// Start Menu is, whether a folder exists, code pages and the two streams.
// Kept free of <windows.h> so that the command is tested on any system.
#ifndef VELTMOR_CLI_SCANHOST_H
#define VELTMOR_CLI_SCANHOST_H

#include <string>

namespace cli {

class ScanHost {
public:
    enum class Encoding { Ansi, Utf8 };

    virtual ~ScanHost() = default;

    // The current user's Start Menu folder as the dialog finds it; empty
    // when the shell cannot say.
    virtual std::string StartMenuFolder() = 0;

    // The dialog's test of its scan-from path.
    virtual bool IsFolder(const std::string& path) = 0;

    // System code page text as UTF-8.
    virtual std::string AnsiToUtf8(const std::string& ansi) = 0;

    // All of text to standard output; false when it could not be written.
    virtual bool WriteOutput(const std::string& text, Encoding encoding) = 0;

    // One line (no line end) of system code page text to standard error.
    virtual void WriteError(const std::string& line) = 0;
};

}  // namespace cli

#endif
