#include "RecordingScanView.h"

#include "scan/ScanEngine.h"

namespace wintest {

CRecordingScanView::~CRecordingScanView()
{
    DeleteAllRows();
}

void CRecordingScanView::DeleteAllRows()
{
    for (Row& row : m_rows)
        scan::CScanEngine::OnDeleteitemList(row.data);
    m_rows.clear();
}

int CRecordingScanView::InsertRow(int index, const char* text, int image)
{
    if (index < 0 || index > RowCount())
        return -1;
    Row row;
    row.item = text;
    row.image = image;
    m_rows.insert(m_rows.begin() + index, row);
    return index;
}

void CRecordingScanView::SetRowText(int row, int column, const char* text)
{
    if (row < 0 || row >= RowCount())
        return;
    (column == 0 ? m_rows[row].item : m_rows[row].value) = text;
}

bool CRecordingScanView::SetRowData(int row, std::intptr_t data)
{
    if (row < 0 || row >= RowCount())
        return false;
    m_rows[row].data = data;
    return true;
}

}  // namespace wintest
