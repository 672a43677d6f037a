// The main window: a resizable modal dialog holding the scan-from folder, the
// two options, the Scan and browse buttons and the results list.
#ifndef VELTMOR_APP_MAINDLG_H
#define VELTMOR_APP_MAINDLG_H

#include "framework/Framework.h"
#include "scan/ScanEngine.h"
#include "scan/Win32ScanFileSystem.h"

class CMainDlg : public CDialog, private scan::ScanView {
public:
    explicit CMainDlg(CWnd* pParent = nullptr);
    ~CMainDlg() override;

    // Scan command, walk, filter and rows (the engine does the work).
    void OnScan();
    void OnDeleteitemList(NMLISTVIEW* pNMListView, LRESULT* pResult);

    // Result-list actions.
    void OnKeydownList(NMLVKEYDOWN* pLVKeyDown, LRESULT* pResult);
    void OnDblclkList(NMHDR* pNMHDR, LRESULT* pResult);
    BOOL RecycleShortcut(const char* path);
    BOOL ShowProperties(const char* path);

    // Window.
    void OnBrowse();
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnSize(UINT nType, int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO* lpMMI);

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    int m_cxInitial = 0;
    int m_cyInitial = 0;
    int m_cxListMargin = 0;
    int m_cyListMargin = 0;
    CImageList m_imageStatus;
    CString m_strScanFrom;
    CListCtrl m_listResults;
    BOOL m_bIgnoreRemovable = TRUE;
    BOOL m_bDisplayAll = FALSE;
    HICON m_hIcon;

    DECLARE_MESSAGE_MAP()

private:
    void DeleteSelectedShortcuts();
    // False for what Delete must never hand to the shell: a folder, or a
    // path that names no one file.
    static BOOL IsRecyclableShortcut(const char* path);

    // The scan's view of this dialog.
    Window FirstChild() override;
    Window NextSibling(Window child) override;
    void EnableWindow(Window child, bool enable) override;
    void DeleteAllRows() override;
    int RowCount() override;
    int InsertRow(int index, const char* text, int image) override;
    void SetRowText(int row, int column, const char* text) override;
    bool SetRowData(int row, std::intptr_t data) override;
    void RepaintList() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    scan::ScanOptions ReadControls() override;

    scan::CWin32ScanFileSystem m_fileSystem;  // resolves with this window as owner
    scan::CScanEngine m_engine;
};

#endif
