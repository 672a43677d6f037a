// The application object: exactly one per process, constructed before
// WinMain runs; WinMain calls its InitInstance.
#ifndef VELTMOR_FRAMEWORK_CWINAPP_H
#define VELTMOR_FRAMEWORK_CWINAPP_H

#include "CCmdTarget.h"

class CWnd;

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns FALSE to end the process without a message loop.
    virtual BOOL InitInstance();
    // The message loop, for applications whose InitInstance returns TRUE.
    virtual int Run();
    virtual int ExitInstance();

    // Gives dialogs the 3-D look through CTL3D32.DLL where the system folder
    // has it;
    // FALSE when it does not (the controls are then drawn by the system).
    BOOL Enable3dControls();

    // The help command. No help file ships with the program, so there is
    // nothing to open.
    void OnHelp();

    // nCode +1 shows the wait cursor, -1 takes one level back.
    void DoWaitCursor(int nCode);
    int WaitCursorCount() const { return m_nWaitCursorCount; }

    CWnd* m_pMainWnd = nullptr;  // not owned
    const char* m_pszAppName;
    HINSTANCE m_hInstance;

private:
    int m_nWaitCursorCount = 0;
    HCURSOR m_hcurWaitCursorRestore = nullptr;
    HMODULE m_hCtl3d = nullptr;
};

// The one application object, or null before it is constructed.
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

#endif
