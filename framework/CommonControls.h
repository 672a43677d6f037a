// The few comctl32 functions the framework calls, taken from the copy in the
// system folder. The programs do not import comctl32: the loader would look
// for it in the program's folder first, as it is not one of the system's
// known DLLs. No manifest asks for version 6, so this is the same library the
// import used to bind, and the controls look as they always did.
#ifndef VELTMOR_FRAMEWORK_COMMONCONTROLS_H
#define VELTMOR_FRAMEWORK_COMMONCONTROLS_H

#include <windows.h>
#include <commctrl.h>

// Each fails (FALSE, null, 0) when comctl32 or the function is missing.
BOOL AfxInitCommonControls(DWORD classes);  // ICC_ flags
HIMAGELIST AfxImageListLoadImage(HINSTANCE instance, LPCSTR bitmap, int cx, int grow, COLORREF mask,
                                 UINT type, UINT flags);
BOOL AfxImageListDestroy(HIMAGELIST list);
int AfxImageListGetImageCount(HIMAGELIST list);

#endif
