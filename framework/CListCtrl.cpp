#include "CListCtrl.h"

int CListCtrl::InsertColumn(int column, const char* heading, int format, int width)
{
    LVCOLUMNA col = {};
    col.mask = LVCF_FMT | LVCF_TEXT;
    col.fmt = format;
    col.pszText = const_cast<char*>(heading);
    if (width != -1) {
        col.mask |= LVCF_WIDTH;
        col.cx = width;
    }
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                                        reinterpret_cast<LPARAM>(&col)));
}

int CListCtrl::InsertItem(UINT mask, int item, const char* text, int image)
{
    LVITEMA lvi = {};
    lvi.mask = mask;
    lvi.iItem = item;
    lvi.pszText = const_cast<char*>(text);
    lvi.iImage = image;
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&lvi)));
}

int CListCtrl::InsertItem(int item, const char* text)
{
    return InsertItem(LVIF_TEXT, item, text, 0);
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text)
{
    LVITEMA lvi = {};
    lvi.mask = LVIF_TEXT;
    lvi.iSubItem = subItem;
    lvi.pszText = const_cast<char*>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, static_cast<WPARAM>(item),
                                         reinterpret_cast<LPARAM>(&lvi)));
}

int CListCtrl::GetItemText(int item, int subItem, char* text, int length) const
{
    LVITEMA lvi = {};
    lvi.iSubItem = subItem;
    lvi.pszText = text;
    lvi.cchTextMax = length;
    return static_cast<int>(SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(item),
                                        reinterpret_cast<LPARAM>(&lvi)));
}

CString CListCtrl::GetItemText(int item, int subItem) const
{
    char buffer[1024] = "";
    GetItemText(item, subItem, buffer, sizeof buffer);
    return CString(buffer);
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data)
{
    LVITEMA lvi = {};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    lvi.lParam = static_cast<LPARAM>(data);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&lvi)));
}

DWORD_PTR CListCtrl::GetItemData(int item) const
{
    LVITEMA lvi = {};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = item;
    if (!SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&lvi)))
        return 0;
    return static_cast<DWORD_PTR>(lvi.lParam);
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask)
{
    LVITEMA lvi = {};
    lvi.state = state;
    lvi.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                                         reinterpret_cast<LPARAM>(&lvi)));
}
