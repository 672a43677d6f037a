#include "about/AboutDlg.h"

#include "about/TitlePulse.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg()
    : CDialog(IDD_ABOUTBOX, nullptr)
{
    m_strHomePage.LoadString(IDS_HOME_PAGE);
}

CAboutDlg::~CAboutDlg()
{
    // The window and its title control are gone by now, so nothing still
    // draws with the font.
    if (m_hTitleFont)
        ::DeleteObject(m_hTitleFont);
}

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_EDIT, m_strHomePage);
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    ReplaceTitleFont();
    ::SetFocus(GetDlgItem(IDOK));
    // Shift held at opening starts the pulse; it runs until the window goes.
    if (::GetAsyncKeyState(VK_SHIFT) & 0x8000)
        SetTimer(1, 0);
    return FALSE;  // the focus is set
}

void CAboutDlg::OnTimer(UINT_PTR nIDEvent)
{
    HWND title = GetDlgItem(IDC_TITLE);
    RECT frame;
    ::GetClientRect(title, &frame);
    ::MapWindowPoints(title, m_hWnd, reinterpret_cast<POINT*>(&frame), 2);

    const int step = about::TitlePulse::Shared().Tick();
    ::InflateRect(&frame, step, step);
    ::SetWindowPos(title, nullptr, frame.left, frame.top, frame.right - frame.left,
                   frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);

    ReplaceTitleFont();
    CDialog::OnTimer(nIDEvent);
}

void CAboutDlg::ReplaceTitleFont()
{
    // A dialog object opened a second time still holds the last run's font.
    if (m_hTitleFont)
        ::DeleteObject(m_hTitleFont);
    m_hTitleFont = CreateFittedFont(GetDlgItem(IDC_TITLE));
}

HFONT CreateFittedFont(HWND window)
{
    if (!::IsWindow(window))
        return nullptr;

    char text[260];  // at most 259 characters and the terminator
    const int length = ::GetWindowTextA(window, text, sizeof text);
    RECT client;
    ::GetClientRect(window, &client);

    const about::FittedFontSize size = about::FitTitleFont(client.right, client.bottom, length);
    LOGFONTA font = {};
    font.lfHeight = size.height;
    font.lfWidth = size.width;
    font.lfWeight = about::kTitleFontWeight;
    // The face comes from the module the window was made from, at most 31
    // characters and the terminator.
    const auto module = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(window, GWLP_HINSTANCE));
    ::LoadStringA(module, IDS_TITLE_FONT, font.lfFaceName, LF_FACESIZE);

    HFONT hFont = ::CreateFontIndirectA(&font);
    ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
    return hFont;
}
