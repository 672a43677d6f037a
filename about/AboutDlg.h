// The About box: the product name in heavy type fitted to its frame, the
// version, a copyright line and the home-page address. Holding Shift while it
// opens makes the name pulse.
#ifndef VELTMOR_ABOUT_ABOUTDLG_H
#define VELTMOR_ABOUT_ABOUTDLG_H

#include "framework/Framework.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override;

    CAboutDlg(const CAboutDlg&) = delete;
    CAboutDlg& operator=(const CAboutDlg&) = delete;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR nIDEvent);

    CString m_strHomePage;
    HFONT m_hTitleFont = nullptr;  // ours: set on the title control, deleted when replaced

    DECLARE_MESSAGE_MAP()

private:
    void ReplaceTitleFont();
};

// Creates heavy type fitted to window's client area and text, sets it on the
// window (redrawn) and returns it; the caller owns the font and deletes it
// once the window no longer uses it. Null when window is not a window.
HFONT CreateFittedFont(HWND window);

#endif
