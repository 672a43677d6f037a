// Helpers that make real files and real shortcuts for the tests and the
// benchmark. COM must be initialised on the calling thread.
#ifndef VELTMOR_TESTS_WINE_TESTFILES_H
#define VELTMOR_TESTS_WINE_TESTFILES_H

#include <windows.h>

#include <string>

namespace wintest {

// A real shortcut made by the shell: IShellLinkA::SetPath, then
// IPersistFile::Save. The target need not exist.
HRESULT WriteShortcut(const std::string& linkPath, const std::string& targetPath,
                      const char* description = nullptr, const char* arguments = nullptr);

// A real shortcut to a shell folder that has no file-system path (a CSIDL_
// value such as CSIDL_DRIVES).
HRESULT WriteShortcutToShellFolder(const std::string& linkPath, int csidl);

bool WriteBytes(const std::string& path, const std::string& bytes);
bool MakeFile(const std::string& path);  // empty file
// False when the file cannot be read.
bool ReadBytes(const std::string& path, std::string& bytes);
// A file's bytes through a wide (possibly "\\?\") path; "<absent>" when it
// cannot be opened.
std::string WideBytes(const std::wstring& path);
bool LastWriteTime(const std::string& path, FILETIME& time);

// "\\?\" + the wide form of an absolute ANSI path: for the wide calls that
// must reach past MAX_PATH.
std::wstring LongPath(const std::string& path);

// A Unix path as the program sees it through the Z: drive.
std::string UnixToWindows(const std::string& unixPath);

// An environment variable of the program, or "" when unset.
std::string Environment(const char* name);

}  // namespace wintest

#endif
