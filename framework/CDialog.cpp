#include "CDialog.h"

#include "CWinApp.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal()
{
    // A dialog without a parent is owned by the main window (unless it is
    // the main window), so the main window waits while it is open.
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner) {
        CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd && app->m_pMainWnd != this)
            owner = app->m_pMainWnd->m_hWnd;
    }
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCmdMsg(UINT id, UINT code)
{
    if (CWnd::OnCmdMsg(id, code))
        return TRUE;
    // Commands the dialog does not take go on to the application (help).
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(id, code);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        reinterpret_cast<CDialog*>(lParam)->m_hWnd = hwnd;
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!dialog)
        return FALSE;
    return dialog->HandleMessage(message, wParam, lParam);
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The message our own Default() handed back to DefDlgProc: let it work.
    if (m_pDefaultMsg && m_pDefaultMsg->message == message && m_pDefaultMsg->wParam == wParam &&
        m_pDefaultMsg->lParam == lParam) {
        m_pDefaultMsg = nullptr;
        return FALSE;
    }

    const Message current = {message, wParam, lParam};
    const Message* saved = m_pCurrentMsg;
    m_pCurrentMsg = &current;
    INT_PTR result = FALSE;
    try {
        result = Dispatch(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the system's code; the message counts as
        // handled.
        result = TRUE;
    }
    m_pCurrentMsg = saved;

    if (message == WM_NCDESTROY) {
        UnbindControls();
        ::SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        m_hWnd = nullptr;
    }
    return result;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCmdMsg(LOWORD(wParam), HIWORD(wParam));
    case WM_HELP:
        return OnCmdMsg(ID_HELP, 0);
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        const AFX_MSGMAP_ENTRY* entry =
            FindEntry(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom));
        if (!entry)
            return FALSE;
        ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, entry->pfn(this, wParam, lParam));
        return TRUE;
    }
    default:
        break;
    }
    const AFX_MSGMAP_ENTRY* entry = FindEntry(message, 0, 0);
    if (!entry)
        return FALSE;
    const LRESULT result = entry->pfn(this, wParam, lParam);
    if (message == WM_QUERYDRAGICON)
        return result;  // returned directly, not through DWLP_MSGRESULT
    ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

LRESULT CDialog::Default()
{
    if (!m_pCurrentMsg || !m_hWnd)
        return 0;
    // DefDlgProc calls our dialog procedure first; HandleMessage recognises
    // the message and lets the system's own processing run now.
    const Message* saved = m_pDefaultMsg;
    m_pDefaultMsg = m_pCurrentMsg;
    const LRESULT result = ::DefDlgProcA(m_hWnd, m_pCurrentMsg->message, m_pCurrentMsg->wParam,
                                         m_pCurrentMsg->lParam);
    m_pDefaultMsg = saved;
    return result;
}
