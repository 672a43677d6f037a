// The list-view control: one-line wrappers over its messages.
#ifndef VELTMOR_FRAMEWORK_CLISTCTRL_H
#define VELTMOR_FRAMEWORK_CLISTCTRL_H

#include "CImageList.h"
#include "CString.h"
#include "CWnd.h"

class CListCtrl : public CWnd {
public:
    int GetItemCount() const { return ListView_GetItemCount(m_hWnd); }
    UINT GetSelectedCount() const { return ListView_GetSelectedCount(m_hWnd); }
    int GetNextItem(int start, int flags) const { return ListView_GetNextItem(m_hWnd, start, flags); }

    int InsertColumn(int column, const char* heading, int format = LVCFMT_LEFT, int width = -1);
    BOOL SetColumnWidth(int column, int cx) { return ListView_SetColumnWidth(m_hWnd, column, cx); }
    int GetColumnWidth(int column) const { return ListView_GetColumnWidth(m_hWnd, column); }

    int InsertItem(UINT mask, int item, const char* text, int image);
    int InsertItem(int item, const char* text);
    BOOL SetItemText(int item, int subItem, const char* text);
    int GetItemText(int item, int subItem, char* text, int length) const;
    CString GetItemText(int item, int subItem) const;
    BOOL SetItemData(int item, DWORD_PTR data);
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const { return ListView_GetItemState(m_hWnd, item, mask); }

    BOOL DeleteItem(int item) { return ListView_DeleteItem(m_hWnd, item); }
    BOOL DeleteAllItems() { return ListView_DeleteAllItems(m_hWnd); }

    HIMAGELIST SetImageList(CImageList* images, int type)
    {
        return ListView_SetImageList(m_hWnd, images->m_hImageList, type);
    }
};

#endif
