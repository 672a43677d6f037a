#include "DiscardingScanView.h"

#include "scan/ScanEngine.h"

int CDiscardingScanView::InsertRow(int index, const char*, int)
{
    ++m_listed;
    return index;
}

bool CDiscardingScanView::SetRowData(int, std::intptr_t data)
{
    // The row is gone as soon as it is made: free its copy as the list would.
    scan::CScanEngine::OnDeleteitemList(data);
    return true;
}
