#include "CWnd.h"

#include "CDataExchange.h"

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*)
{
}

void CWnd::BindControl(CWnd& control, HWND hwnd)
{
    control.m_hWnd = hwnd;
    m_boundControls.push_back(&control);
}

void CWnd::UnbindControls()
{
    for (CWnd* control : m_boundControls)
        control->m_hWnd = nullptr;
    m_boundControls.clear();
}
