// The application framework: the few classes the program is written against.
#ifndef VELTMOR_FRAMEWORK_FRAMEWORK_H
#define VELTMOR_FRAMEWORK_FRAMEWORK_H

#include <windows.h>
#include <commctrl.h>

#include "CCmdTarget.h"
#include "CDataExchange.h"
#include "CDialog.h"
#include "CImageList.h"
#include "CListCtrl.h"
#include "CMenu.h"
#include "CPaintDC.h"
#include "CString.h"
#include "CWinApp.h"
#include "CWnd.h"

#endif
