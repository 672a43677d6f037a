#include "CollectingScanView.h"

#include "scan/ScanEngine.h"

namespace cli {

CCollectingScanView::~CCollectingScanView()
{
    DeleteAllRows();
}

void CCollectingScanView::DeleteAllRows()
{
    for (Row& row : m_rows)
        scan::CScanEngine::OnDeleteitemList(row.copy);
    m_rows.clear();
}

int CCollectingScanView::InsertRow(int index, const char* text, int image)
{
    if (index < 0 || index > RowCount())
        return -1;
    Row row;
    row.shortcut = text;
    row.present = image == 1;
    m_rows.insert(m_rows.begin() + index, std::move(row));
    return index;
}

void CCollectingScanView::SetRowText(int row, int column, const char* text)
{
    if (row < 0 || row >= RowCount())
        return;
    (column == 0 ? m_rows[row].shortcut : m_rows[row].target) = text;
}

bool CCollectingScanView::SetRowData(int row, std::intptr_t data)
{
    if (row < 0 || row >= RowCount())
        return false;
    m_rows[row].copy = data;
    return true;
}

void CCollectingScanView::RowPresence(int row, const scan::Presence& presence)
{
    if (row >= 0 && row < RowCount())
        m_rows[row].presence = presence;
}

void CCollectingScanView::RowTarget(int row, const scan::ShortcutTarget& target)
{
    if (row < 0 || row >= RowCount())
        return;
    m_rows[row].digest = target.digest;
    m_rows[row].recordedDrive = target.recordedDrive;
    m_rows[row].networkPath = target.networkPath;
    m_rows[row].address = target.address;
    m_rows[row].bytes = target.bytes;
}

}  // namespace cli
