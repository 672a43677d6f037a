#include "LinkPropertiesDlg.h"

#include "properties/PropertyFormat.h"
#include "resource.h"
#include "scan/PathText.h"
#include "scan/ShortcutReader.h"

namespace {

// A zeroed read buffer: a read that writes nothing leaves the empty text,
// and the last character stays a terminator even if the service fills the
// whole buffer.
struct ReadBuffer {
    char text[scan::kPathBuffer] = {};
    int Size() const { return static_cast<int>(sizeof text); }
    const char* Terminated()
    {
        text[scan::kMaxPathLength] = '\0';
        return text;
    }
};

}  // namespace

CLinkPropertiesDlg::CLinkPropertiesDlg(const char* path, CWnd* pParent)
    : CDialog(IDD_PROPERTIES, pParent), m_strLinkPath(path)
{
}

void CLinkPropertiesDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control (pDX, IDC_LIST,      m_listProps);
    DDX_Text    (pDX, IDC_LINK_PATH, m_strLinkPath);
    DDV_MaxChars(pDX, m_strLinkPath, 260);
}

BOOL CLinkPropertiesDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    CString heading;
    heading.LoadString(IDS_COL_ITEM);
    m_listProps.InsertColumn(0, heading, LVCFMT_LEFT);
    heading.LoadString(IDS_COL_VALUE);
    m_listProps.InsertColumn(1, heading, LVCFMT_LEFT);

    // A shortcut that cannot be opened leaves the list empty: no error row.
    {
        scan::COpenShortcut shortcut;  // releases the persist interface, then the link
        if (SUCCEEDED(scan::OpenShortcut(m_hWnd, m_strLinkPath, shortcut)))
            AddPropertyRows(shortcut.Link());
    }

    m_listProps.SetColumnWidth(0, LVSCW_AUTOSIZE);
    m_listProps.SetColumnWidth(1, LVSCW_AUTOSIZE);
    return TRUE;
}

void CLinkPropertiesDlg::AddPropertyRows(IShellLinkA* link)
{
    // Each row is inserted before its field is read, so a row shows its
    // label even when the read fails.
    int row = InsertLabel(0, IDS_PATH);
    {
        ReadBuffer buffer;
        WIN32_FIND_DATAA findData = {};
        const HRESULT hr = link->GetPath(buffer.text, buffer.Size(), &findData, 0);
        SetValue(row, hr, buffer.Terminated());
    }

    row = InsertLabel(1, IDS_DESCRIPTION);
    {
        ReadBuffer buffer;
        const HRESULT hr = link->GetDescription(buffer.text, buffer.Size());
        SetValue(row, hr, buffer.Terminated());
    }

    row = InsertLabel(2, IDS_ARGUMENTS);
    {
        ReadBuffer buffer;
        const HRESULT hr = link->GetArguments(buffer.text, buffer.Size());
        SetValue(row, hr, buffer.Terminated());
    }

    row = InsertLabel(3, IDS_HOTKEY);
    {
        WORD hotkey = 0;
        const HRESULT hr = link->GetHotkey(&hotkey);
        SetValue(row, hr, properties::FormatHotkey(hotkey).c_str());
    }

    row = InsertLabel(4, IDS_ICON_LOCATION);
    {
        ReadBuffer buffer;
        int index = 0;
        const HRESULT hr = link->GetIconLocation(buffer.text, buffer.Size(), &index);
        // Built in the read buffer; a text too long for it loses the end of
        // the path, never the index.
        properties::FormatIconLocation(buffer.Terminated(), index, buffer.text, sizeof buffer.text);
        SetValue(row, hr, buffer.text);
    }

    row = InsertLabel(5, IDS_WORKING_DIR);
    {
        ReadBuffer buffer;
        const HRESULT hr = link->GetWorkingDirectory(buffer.text, buffer.Size());
        SetValue(row, hr, buffer.Terminated());
    }
}

int CLinkPropertiesDlg::InsertLabel(int row, UINT labelId)
{
    CString label;
    label.LoadString(labelId);
    return m_listProps.InsertItem(row, label);
}

void CLinkPropertiesDlg::SetValue(int row, HRESULT hr, const char* text)
{
    CString error;
    if (FAILED(hr)) {
        error.LoadString(IDS_ERROR);
        text = error;
    }
    m_listProps.SetItemText(row, 1, text);
}
