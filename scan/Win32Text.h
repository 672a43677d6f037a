// Text between a code page and UTF-16, and the system's words for an error:
// the one place where either is done. Windows only.
#ifndef VELTMOR_SCAN_WIN32TEXT_H
#define VELTMOR_SCAN_WIN32TEXT_H

#include <windows.h>

#include <string>

namespace scan {

// Both give the empty text for the empty text, and for text the code page
// cannot convert at all.
std::wstring Widen(const std::string& text, UINT codePage);
std::string Narrow(const std::wstring& wide, UINT codePage);

// UTF-16 as UTF-8; false (and nothing in utf8) when it holds a lone
// surrogate, which no UTF-8 text can give back.
bool ExactUtf8(const std::wstring& wide, std::string& utf8);

// wide in the system code page; false when a character has no exact
// spelling there (a default character or a best-fit look-alike would name
// another file).
bool ExactAnsi(const std::wstring& wide, std::string& ansi);

// "Access is denied (error 5)", UTF-8.
std::string ErrorText(DWORD error);

}  // namespace scan

#endif
