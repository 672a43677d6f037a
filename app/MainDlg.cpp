#include "MainDlg.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "about/AboutDlg.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CMainDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_NOTIFY(LVN_KEYDOWN, IDC_LIST, &CMainDlg::OnKeydownList)
    ON_NOTIFY(LVN_DELETEITEM, IDC_LIST, &CMainDlg::OnDeleteitemList)
    ON_BN_CLICKED(IDC_BROWSE, &CMainDlg::OnBrowse)
    ON_BN_CLICKED(IDC_SCAN, &CMainDlg::OnScan)
    ON_WM_SIZE()
    ON_WM_GETMINMAXINFO()
    ON_NOTIFY(NM_DBLCLK, IDC_LIST, &CMainDlg::OnDblclkList)
END_MESSAGE_MAP()

namespace {

// Frees an item identifier list the shell handed us.
class CItemIdList {
public:
    CItemIdList() = default;
    ~CItemIdList() { ::CoTaskMemFree(m_pidl); }
    CItemIdList(const CItemIdList&) = delete;
    CItemIdList& operator=(const CItemIdList&) = delete;

    LPITEMIDLIST* operator&()
    {
        ::CoTaskMemFree(m_pidl);
        m_pidl = nullptr;
        return &m_pidl;
    }
    LPITEMIDLIST Get() const { return m_pidl; }
    void Reset(LPITEMIDLIST pidl)
    {
        ::CoTaskMemFree(m_pidl);
        m_pidl = pidl;
    }

private:
    LPITEMIDLIST m_pidl = nullptr;
};

}  // namespace

CMainDlg::CMainDlg(CWnd* pParent)
    : CDialog(IDD_MAIN, pParent),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN))),
      m_fileSystem(nullptr, AfxGetResourceHandle()),
      m_engine(m_fileSystem, *this)
{
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text   (pDX, IDC_EDIT,             m_strScanFrom);
    DDX_Control(pDX, IDC_LIST,             m_listResults);
    DDX_Check  (pDX, IDC_IGNORE_REMOVABLE, m_bIgnoreRemovable);
    DDX_Check  (pDX, IDC_DISPLAY_ALL,      m_bDisplayAll);
    if (!m_strScanFrom.IsEmpty() && !::PathIsDirectoryA(m_strScanFrom))
        pDX->Fail();
}

BOOL CMainDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_fileSystem.SetOwner(m_hWnd);

    RECT window;
    GetWindowRect(&window);
    m_cxInitial = window.right - window.left;
    m_cyInitial = window.bottom - window.top;

    RECT client, list;
    GetClientRect(&client);
    m_listResults.GetWindowRect(&list);
    m_cxListMargin = (client.right - client.left) - (list.right - list.left);
    m_cyListMargin = (client.bottom - client.top) - (list.bottom - list.top);

    ::CoInitialize(nullptr);

    CString strAboutMenu;
    strAboutMenu.LoadString(IDS_ABOUTBOX);
    if (!strAboutMenu.IsEmpty()) {
        CMenu sysMenu = GetSystemMenu(FALSE);
        sysMenu.AppendMenu(MF_SEPARATOR);
        sysMenu.AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_imageStatus.Create(IDB_STATUS, 16, 2, RGB(255, 0, 255));
    m_listResults.SetImageList(&m_imageStatus, LVSIL_SMALL);
    // The dialog owns the image list and destroys it; without this style
    // the list would destroy it too when the window goes.
    ::SetWindowLongPtrA(m_listResults, GWL_STYLE,
                        ::GetWindowLongPtrA(m_listResults, GWL_STYLE) | LVS_SHAREIMAGELISTS);

    CString heading;
    heading.LoadString(IDS_COL_ITEM);
    m_listResults.InsertColumn(0, heading, LVCFMT_LEFT);
    heading.LoadString(IDS_COL_VALUE);
    m_listResults.InsertColumn(1, heading, LVCFMT_LEFT);

    // Column 1 reaches past the list's right edge, so long targets show.
    RECT listClient;
    m_listResults.GetClientRect(&listClient);
    const int width = listClient.right - listClient.left;
    m_listResults.SetColumnWidth(0, width * 3 / 4);
    m_listResults.SetColumnWidth(1, width);

    // Left empty when the shell cannot say where the Start Menu is.
    CItemIdList startMenu;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(m_hWnd, CSIDL_STARTMENU, &startMenu))) {
        char* buffer = m_strScanFrom.GetBuffer(MAX_PATH);
        buffer[0] = '\0';
        ::SHGetPathFromIDListA(startMenu.Get(), buffer);
        m_strScanFrom.ReleaseBuffer();
    }

    UpdateData(FALSE);
    return TRUE;
}

void CMainDlg::OnOK()
{
    // Enter must neither close the dialog nor scan.
}

void CMainDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CMainDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rect.bottom - rect.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CMainDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CMainDlg::OnSize(UINT nType, int cx, int cy)
{
    CDialog::OnSize(nType, cx, cy);
    if (m_listResults.m_hWnd) {
        ::SetWindowPos(m_listResults, nullptr, 0, 0, cx - m_cxListMargin, cy - m_cyListMargin,
                       SWP_NOMOVE | SWP_NOZORDER);
    }
}

void CMainDlg::OnGetMinMaxInfo(MINMAXINFO* lpMMI)
{
    if (m_cxInitial != 0) {
        lpMMI->ptMinTrackSize.x = m_cxInitial;
        lpMMI->ptMinTrackSize.y = m_cyInitial;
    }
    CDialog::OnGetMinMaxInfo(lpMMI);
}

void CMainDlg::OnBrowse()
{
    CItemIdList root;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &root)))
        root.Reset(nullptr);  // the browser then starts at the desktop itself

    char displayName[MAX_PATH] = "";
    BROWSEINFOA bi = {};
    bi.hwndOwner = m_hWnd;
    bi.pidlRoot = root.Get();
    bi.pszDisplayName = displayName;
    bi.lpszTitle = "Select Folder";
    bi.ulFlags = 0;

    CItemIdList chosen;
    chosen.Reset(::SHBrowseForFolderA(&bi));
    if (!chosen.Get())
        return;

    // A virtual folder (Control Panel, Printers) has no path: keep the
    // current one rather than scanning something the user did not choose.
    char path[MAX_PATH] = "";
    if (!::SHGetPathFromIDListA(chosen.Get(), path) || path[0] == '\0')
        return;
    m_strScanFrom = path;
    UpdateData(FALSE);
}

// The scan and its rows: the engine walks, this dialog is its view.

void CMainDlg::OnScan()
{
    m_engine.OnScan();
}

void CMainDlg::OnDeleteitemList(NMLISTVIEW* pNMListView, LRESULT* pResult)
{
    std::intptr_t data = pNMListView->lParam;
    *pResult = scan::CScanEngine::OnDeleteitemList(data);
    pNMListView->lParam = data;
}

scan::ScanView::Window CMainDlg::FirstChild()
{
    return ::GetWindow(m_hWnd, GW_CHILD);
}

scan::ScanView::Window CMainDlg::NextSibling(Window child)
{
    return ::GetWindow(static_cast<HWND>(child), GW_HWNDNEXT);
}

void CMainDlg::EnableWindow(Window child, bool enable)
{
    ::EnableWindow(static_cast<HWND>(child), enable);
}

void CMainDlg::DeleteAllRows()
{
    m_listResults.DeleteAllItems();
}

int CMainDlg::RowCount()
{
    return m_listResults.GetItemCount();
}

int CMainDlg::InsertRow(int index, const char* text, int image)
{
    return m_listResults.InsertItem(LVIF_TEXT | LVIF_IMAGE, index, text, image);
}

void CMainDlg::SetRowText(int row, int column, const char* text)
{
    m_listResults.SetItemText(row, column, text);
}

bool CMainDlg::SetRowData(int row, std::intptr_t data)
{
    return m_listResults.SetItemData(row, static_cast<DWORD_PTR>(data)) != FALSE;
}

void CMainDlg::RepaintList()
{
    m_listResults.UpdateWindow();
}

void CMainDlg::BeginWaitCursor()
{
    CDialog::BeginWaitCursor();
}

void CMainDlg::EndWaitCursor()
{
    CDialog::EndWaitCursor();
}

scan::ScanOptions CMainDlg::ReadControls()
{
    UpdateData(TRUE);  // a path that fails validation is still walked as typed
    scan::ScanOptions options;
    options.scanFrom = static_cast<const char*>(m_strScanFrom);
    options.ignoreRemovable = m_bIgnoreRemovable != FALSE;
    options.displayAll = m_bDisplayAll != FALSE;
    return options;
}
