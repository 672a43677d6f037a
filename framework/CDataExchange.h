// Data exchange between a dialog's controls and its members.
#ifndef VELTMOR_FRAMEWORK_CDATAEXCHANGE_H
#define VELTMOR_FRAMEWORK_CDATAEXCHANGE_H

#include "CString.h"
#include "CWnd.h"

// Thrown by CDataExchange::Fail; UpdateData catches it and returns FALSE.
class CUserException {};

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd)
    {
    }

    // The control's window, remembered as the last one exchanged.
    HWND PrepareCtrl(int nIDC);
    HWND PrepareEditCtrl(int nIDC);

    // Abandons the exchange: the focus goes back to the last control
    // exchanged and UpdateData returns FALSE. No message is shown.
    [[noreturn]] void Fail();

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;
    BOOL m_bEditLastControl = FALSE;
};

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Loading limits the edit control to nChars; saving fails a longer text.
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars);

#endif
