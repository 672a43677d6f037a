#include "CollectingScanView.h"

#include "scan/ScanEngine.h"

namespace cli {

CCollectingScanView::~CCollectingScanView()
{
    DeleteAllRows();
}

void CCollectingScanView::DeleteAllRows()
{
    for (std::intptr_t& copy : m_copies)
        scan::CScanEngine::OnDeleteitemList(copy);
    m_copies.clear();
    m_rows.clear();
}

std::vector<ScanRow> CCollectingScanView::TakeRows()
{
    std::vector<ScanRow> rows = std::move(m_rows);
    DeleteAllRows();
    return rows;
}

int CCollectingScanView::InsertRow(int index, const char* text, int)
{
    if (index < 0 || index > RowCount())
        return -1;
    // The image says only whether the target may be there; RowPresence
    // follows with the whole verdict.
    ScanRow row;
    row.shortcut = text;
    m_copies.insert(m_copies.begin() + index, 0);
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
    m_copies[row] = data;
    return true;
}

void CCollectingScanView::RowPresence(int row, const scan::Presence& presence)
{
    if (row < 0 || row >= RowCount())
        return;
    ScanRow& listed = m_rows[row];
    listed.present = presence.verdict == scan::Verdict::Present;
    listed.unverified = presence.verdict == scan::Verdict::Unverified;
    // The system's words come before a .url's address (RowTarget).
    if (!presence.detail.empty())
        listed.detail = presence.detail;
}

void CCollectingScanView::RowTarget(int row, const scan::ShortcutTarget& target)
{
    if (row < 0 || row >= RowCount())
        return;
    ScanRow& listed = m_rows[row];
    listed.digest = target.digest;
    listed.recordedDrive = target.recordedDrive;
    listed.networkPath = target.networkPath;
    // A .url's or .appref-ms's address, when it is no path and the
    // presence gave no words of its own.
    if (listed.detail.empty())
        listed.detail = target.address;
    listed.bytes = target.bytes;
}

}  // namespace cli
