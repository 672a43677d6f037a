// The one place where a shortcut file is opened through the shell link
// service. Windows only; COM must be initialised on the calling thread.
#ifndef VELTMOR_SCAN_SHORTCUTREADER_H
#define VELTMOR_SCAN_SHORTCUTREADER_H

#include <windows.h>

#include <cstdint>
#include <string>

#include "OpenShortcut.h"
#include "PathText.h"

namespace scan {

// Create the link, query its persist interface, convert the path, check
// the file's structure ourselves (CheckShortcutFile), load, resolve without
// UI. Stops at the first failure with nothing held and returns that
// HRESULT: a file that fails the check fails as one the shell cannot load,
// and the shell never sees it. Never saves: a repair made by Resolve stays
// in memory. A path whose wide form does not fit 260 characters fails.
// maker: the shell link's class object, made once by a caller that reads
// many shortcuts on one thread (each CoCreateInstance looks the class up in
// the registry again); null: CoCreateInstance.
HRESULT OpenShortcut(HWND owner, const char* shortcutPath, COpenShortcut& shortcut,
                     IClassFactory* maker = nullptr);

// The same steps through IShellLinkW, for the scanner. openPath: the path
// as the system is to open it (a "\\?\" form reaches past 260 characters);
// name: the file's name in any encoding, for the structure check's test of
// its extension.
// content, when given, gets the file's bytes as the check read them (a
// shortcut of at most kLargestLoaded bytes), and the shell loads the link
// from those bytes rather than from the file.
constexpr std::uint64_t kLargestLoaded = 1u << 20;
HRESULT OpenWideShortcut(HWND owner, const std::wstring& openPath, const std::string& name,
                         COpenWideShortcut& shortcut, IClassFactory* maker = nullptr, std::string* content = nullptr);

// The open shortcut's target path into target, a 260-character buffer; the
// empty string when it names no file-system path. findData goes to
// IShellLinkA::GetPath as it is: null asks for the path alone.
void ReadTarget(const COpenShortcut& shortcut, WIN32_FIND_DATAA* findData, char* target);

// The same target in UTF-16, read from the same link object (IShellLinkW),
// without find data: it spells every name the ANSI text cannot. Empty when
// there is none.
std::wstring ReadWideTarget(IUnknown* link);

// The shortcut's (resolved) target path into target, a 260-character
// buffer; the empty string when the shortcut cannot be opened or names no
// file-system path.
void ResolveShortcut(HWND owner, const char* shortcutPath, char* target);

// Reads the file through a bounded byte source (a few reads at offsets,
// shared with every other reader and writer) and checks that everything it
// declares lies inside it (LinkStructure.h). S_OK when the shell may load
// it; the open error, or ERROR_BAD_FORMAT, when not.
HRESULT CheckShortcutFile(const char* shortcutPath);
HRESULT CheckShortcutFile(const std::wstring& openPath, const std::string& name, std::string* content = nullptr);

}  // namespace scan

#endif
