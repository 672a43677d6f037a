// A dialog from a resource template, run modally. One dialog procedure routes
// every message to the object's message map.
#ifndef VELTMOR_FRAMEWORK_CDIALOG_H
#define VELTMOR_FRAMEWORK_CDIALOG_H

#include "CWnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
    {
    }

    // Runs the dialog until EndDialog; returns its result, or -1 when the
    // dialog could not be created.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

    BOOL OnCmdMsg(UINT id, UINT code) override;

    // Enter (IDOK) and Esc (IDCANCEL).
    virtual void OnOK();
    virtual void OnCancel();

    // Handles one message; exposed for the dialog procedure.
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

protected:
    LRESULT Default() override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;  // not owned

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    const Message* m_pCurrentMsg = nullptr;  // the message being handled
    const Message* m_pDefaultMsg = nullptr;  // the one handed to DefDlgProc
};

#endif
