// A results list that keeps nothing: it counts the rows and frees each row's
// path copy at once, so a scan can be timed without a window.
#ifndef VELTMOR_BENCH_DISCARDINGSCANVIEW_H
#define VELTMOR_BENCH_DISCARDINGSCANVIEW_H

#include "scan/ScanPlatform.h"

class CDiscardingScanView : public scan::ScanView {
public:
    explicit CDiscardingScanView(const scan::ScanOptions& options) : m_options(options) {}

    int Listed() const { return m_listed; }

    Window FirstChild() override { return nullptr; }
    Window NextSibling(Window) override { return nullptr; }
    void EnableWindow(Window, bool) override {}

    void DeleteAllRows() override { m_listed = 0; }
    int RowCount() override { return m_listed; }
    int InsertRow(int index, const char*, int) override;
    void SetRowText(int, int, const char*) override {}
    bool SetRowData(int row, std::intptr_t data) override;
    void RepaintList() override {}

    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

    scan::ScanOptions ReadControls() override { return m_options; }

private:
    scan::ScanOptions m_options;
    int m_listed = 0;
};

#endif
