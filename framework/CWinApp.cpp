#include "CWinApp.h"

#include "ProcessHardening.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

HINSTANCE AfxGetInstanceHandle()
{
    return ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return ::GetModuleHandleA(nullptr);
}

CWinApp::CWinApp(const char* appName)
    : m_pszAppName(appName), m_hInstance(::GetModuleHandleA(nullptr))
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (m_hCtl3d) {
        using Ctl3dFn = BOOL(WINAPI*)(HINSTANCE);
        if (auto unregister = reinterpret_cast<Ctl3dFn>(
                reinterpret_cast<void*>(::GetProcAddress(m_hCtl3d, "Ctl3dUnregister"))))
            unregister(m_hInstance);
        ::FreeLibrary(m_hCtl3d);
    }
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return 0;
}

BOOL CWinApp::Enable3dControls()
{
    if (m_hCtl3d)
        return TRUE;
    // Current Windows has no CTL3D32.DLL: looked for by name, one planted in
    // any folder of the search would be run.
    HMODULE ctl3d = AfxLoadSystemLibrary("CTL3D32.DLL");
    if (!ctl3d)
        return FALSE;
    using Ctl3dFn = BOOL(WINAPI*)(HINSTANCE);
    auto registerApp = reinterpret_cast<Ctl3dFn>(
        reinterpret_cast<void*>(::GetProcAddress(ctl3d, "Ctl3dRegister")));
    auto autoSubclass = reinterpret_cast<Ctl3dFn>(
        reinterpret_cast<void*>(::GetProcAddress(ctl3d, "Ctl3dAutoSubclass")));
    if (!registerApp || !autoSubclass || !registerApp(m_hInstance)) {
        ::FreeLibrary(ctl3d);
        return FALSE;
    }
    autoSubclass(m_hInstance);
    m_hCtl3d = ctl3d;
    return TRUE;
}

void CWinApp::OnHelp()
{
}

void CWinApp::DoWaitCursor(int nCode)
{
    m_nWaitCursorCount += nCode;
    if (m_nWaitCursorCount < 0)
        m_nWaitCursorCount = 0;
    if (m_nWaitCursorCount > 0) {
        HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
        if (nCode > 0 && m_nWaitCursorCount == 1)
            m_hcurWaitCursorRestore = previous;
    } else {
        ::SetCursor(m_hcurWaitCursorRestore);
    }
}
