#include "SweepApp.h"

#include "MainDlg.h"

BEGIN_MESSAGE_MAP(CSweepApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

// The one application object.
CSweepApp theApp;

BOOL CSweepApp::InitInstance()
{
    Enable3dControls();

    CMainDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    // The dialog has closed: end the process instead of running a message loop.
    return FALSE;
}
