// The one place where a shortcut file is opened through the shell link
// service. Windows only; COM must be initialised on the calling thread.
#ifndef VELTMOR_SCAN_SHORTCUTREADER_H
#define VELTMOR_SCAN_SHORTCUTREADER_H

#include <windows.h>

#include "OpenShortcut.h"
#include "PathText.h"

namespace scan {

// Create the link, query its persist interface, convert the path, load,
// resolve without UI. Stops at the first failure with nothing held and
// returns that HRESULT. Never saves: a repair made by Resolve stays in
// memory. A path whose wide form does not fit 260 characters fails.
HRESULT OpenShortcut(HWND owner, const char* shortcutPath, COpenShortcut& shortcut);

// The shortcut's (resolved) target path into target, a 260-character
// buffer; the empty string when the shortcut cannot be opened or names no
// file-system path.
void ResolveShortcut(HWND owner, const char* shortcutPath, char* target);

}  // namespace scan

#endif
