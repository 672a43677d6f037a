// A window handle with the handful of calls the dialogs make on it. It does
// not own the window: the system destroys dialog windows and their controls.
#ifndef VELTMOR_FRAMEWORK_CWND_H
#define VELTMOR_FRAMEWORK_CWND_H

#include "CCmdTarget.h"
#include "CMenu.h"

#include <vector>

class CDataExchange;

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Moves data between the controls and the members: FALSE retrieves
    // nothing but puts the members into the controls; TRUE reads the
    // controls. FALSE is returned when validation failed.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* pDX);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    HICON SetIcon(HICON icon, BOOL bigIcon)
    {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    CMenu GetSystemMenu(BOOL revert) const { return CMenu(::GetSystemMenu(m_hWnd, revert)); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL UpdateWindow() const { return ::UpdateWindow(m_hWnd); }

    // DDX_Control binds a control object to its window once; the binding
    // ends when this window is destroyed.
    void BindControl(CWnd& control, HWND hwnd);

    // Default processing of the standard messages.
    void OnSysCommand(UINT nID, LPARAM lParam) { (void)nID, (void)lParam, Default(); }
    void OnPaint() { Default(); }
    void OnSize(UINT nType, int cx, int cy) { (void)nType, (void)cx, (void)cy, Default(); }
    void OnGetMinMaxInfo(MINMAXINFO* info) { (void)info, Default(); }
    void OnTimer(UINT_PTR nIDEvent) { (void)nIDEvent, Default(); }

protected:
    // Default processing of the message being handled now.
    virtual LRESULT Default() { return 0; }

    void UnbindControls();

private:
    std::vector<CWnd*> m_boundControls;  // not owned
};

#endif
