// The read-only Properties dialog: what one shortcut file holds, one field
// per row of a two-column list, under the shortcut's own path.
#ifndef VELTMOR_PROPERTIES_LINKPROPERTIESDLG_H
#define VELTMOR_PROPERTIES_LINKPROPERTIESDLG_H

#include <shlobj.h>

#include "framework/Framework.h"

class CLinkPropertiesDlg : public CDialog {
public:
    CLinkPropertiesDlg(const char* path, CWnd* pParent);

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    // The six rows, read from a shortcut that is open. The link is not ours:
    // the caller releases it.
    void AddPropertyRows(IShellLinkA* link);

    CListCtrl m_listProps;
    CString m_strLinkPath;

private:
    // A row with its label from the string table; returns its index.
    int InsertLabel(int row, UINT labelId);
    // Column 1 of the row: the text, or the error text when the read failed.
    void SetValue(int row, HRESULT hr, const char* text);
};

#endif
