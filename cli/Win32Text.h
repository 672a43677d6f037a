// Text between a code page and UTF-16, for the scanner's system side.
// Windows only.
#ifndef VELTMOR_CLI_WIN32TEXT_H
#define VELTMOR_CLI_WIN32TEXT_H

#include <windows.h>

#include <string>

namespace cli {

// Both give the empty text for the empty text, and for text the code page
// cannot convert at all.
std::wstring Widen(const std::string& text, UINT codePage);
std::string Narrow(const std::wstring& wide, UINT codePage);

}  // namespace cli

#endif
