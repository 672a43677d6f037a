// A file written whole or not at all. Windows only.
#ifndef VELTMOR_CLI_WIN32_WHOLEFILE_H
#define VELTMOR_CLI_WIN32_WHOLEFILE_H

#include <windows.h>

#include <string>

namespace cli {

// Writes bytes to path so that a crash at any moment leaves either the old
// file or the new one whole: a temporary file of a name no one else has,
// created new beside it (never opened over something that exists), flushed,
// then moved over path. False, with the system's error, when not done; the
// temporary file is then gone.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes, DWORD& error);

// Writes all of bytes at the file's position, a megabyte a call at most;
// false (the system's error left for GetLastError) at the first that fails.
bool WriteAll(HANDLE file, const std::string& bytes);

}  // namespace cli

#endif
