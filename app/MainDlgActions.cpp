// What the user does with the result rows: Delete sends the selected
// shortcuts to the Recycle Bin, Enter or a double-click shows Properties.
#include "MainDlg.h"

#include <shellapi.h>

#include <vector>

#include "app/ShellFileList.h"
#include "properties/LinkPropertiesDlg.h"
#include "scan/PathText.h"

void CMainDlg::OnKeydownList(NMLVKEYDOWN* pLVKeyDown, LRESULT* pResult)
{
    switch (pLVKeyDown->wVKey) {
    case VK_RETURN:
        OnDblclkList(&pLVKeyDown->hdr, pResult);
        break;
    case VK_DELETE:
        if (m_listResults.GetSelectedCount() == 0)
            ::MessageBeep(0xFFFFFFFF);
        else
            DeleteSelectedShortcuts();
        break;
    default:
        break;
    }
    *pResult = 0;
}

void CMainDlg::OnDblclkList(NMHDR* /*pNMHDR*/, LRESULT* pResult)
{
    *pResult = 0;
    // The first selected row, wherever the pointer was.
    const int row = m_listResults.GetNextItem(-1, LVNI_SELECTED);
    if (row == -1)
        return;
    char path[scan::kPathBuffer] = {};
    m_listResults.GetItemText(row, 0, path, static_cast<int>(sizeof path));
    ShowProperties(path);
}

BOOL CMainDlg::ShowProperties(const char* path)
{
    CLinkPropertiesDlg dlg(path, this);
    dlg.DoModal();
    return TRUE;
}

BOOL CMainDlg::RecycleShortcut(const char* path)
{
    char files[kShellFileListBuffer];  // the path and both terminators
    if (!MakeShellFileList(path, files))
        return FALSE;

    // No FOF_NOCONFIRMATION: the shell asks the user about each file.
    SHFILEOPSTRUCTA op = {};
    op.hwnd = m_hWnd;
    op.wFunc = FO_DELETE;
    op.pFrom = files;
    op.pTo = nullptr;
    op.fFlags = FOF_ALLOWUNDO | FOF_SILENT;
    const int result = ::SHFileOperationA(&op);

    // A failure the user did not choose (the file vanished, could not be
    // moved) is still a failure: the file may be where it was, so its row
    // must stay.
    return result == 0 && !op.fAnyOperationsAborted;
}

BOOL CMainDlg::IsRecyclableShortcut(const char* path)
{
    // A name the code page cannot spell comes back from the folder search
    // with '?' in it, which the shell would take as a wildcard and delete
    // every file it matches. And a folder that is named like a shortcut is
    // read like one, but it is no shortcut to throw away.
    if (scan::HasWildcard(path))
        return FALSE;
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CMainDlg::DeleteSelectedShortcuts()
{
    // The selection as it stands now, in ascending order. Each deleted row
    // moves the rows after it up by one, so later indexes are corrected by
    // the number removed so far.
    std::vector<int> selected;
    for (int row = m_listResults.GetNextItem(-1, LVNI_SELECTED); row != -1;
         row = m_listResults.GetNextItem(row, LVNI_SELECTED))
        selected.push_back(row);

    int removed = 0;
    for (const int original : selected) {
        const int row = original - removed;
        // The row's own copy of its path; it stays the row's.
        const auto* copy = reinterpret_cast<const char*>(m_listResults.GetItemData(row));
        if (!copy)
            continue;
        if (!IsRecyclableShortcut(copy)) {
            ::MessageBeep(0xFFFFFFFF);
            continue;
        }

        // Dimmed while the shell asks about it.
        m_listResults.SetItemState(row, LVIS_CUT, LVIS_CUT);
        if (RecycleShortcut(copy)) {
            // The list frees the copy when it reports the deletion.
            if (m_listResults.DeleteItem(row))
                ++removed;
        } else {
            m_listResults.SetItemState(row, 0, LVIS_CUT);
        }
    }
}
