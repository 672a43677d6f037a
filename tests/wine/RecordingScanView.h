// A results list kept in memory: the dialog side of a scan, for tests that
// drive CScanEngine against the real file system.
#ifndef VELTMOR_TESTS_WINE_RECORDINGSCANVIEW_H
#define VELTMOR_TESTS_WINE_RECORDINGSCANVIEW_H

#include <cstdint>
#include <string>
#include <vector>

#include "scan/ScanPlatform.h"

namespace wintest {

class CRecordingScanView : public scan::ScanView {
public:
    struct Row {
        std::string item;    // column 0
        std::string value;   // column 1
        int image = -1;
        std::intptr_t data = 0;  // the path copy the row owns
    };

    CRecordingScanView() = default;
    ~CRecordingScanView() override;  // deletes the rows, as the list does with the dialog

    CRecordingScanView(const CRecordingScanView&) = delete;
    CRecordingScanView& operator=(const CRecordingScanView&) = delete;

    // What ReadControls reports on the next scan.
    scan::ScanOptions options;

    const std::vector<Row>& Rows() const { return m_rows; }
    int WaitCursorDepth() const { return m_waitCursor; }

    Window FirstChild() override { return nullptr; }
    Window NextSibling(Window) override { return nullptr; }
    void EnableWindow(Window, bool) override {}

    void DeleteAllRows() override;
    int RowCount() override { return static_cast<int>(m_rows.size()); }
    int InsertRow(int index, const char* text, int image) override;
    void SetRowText(int row, int column, const char* text) override;
    bool SetRowData(int row, std::intptr_t data) override;
    void RepaintList() override {}

    void BeginWaitCursor() override { ++m_waitCursor; }
    void EndWaitCursor() override { --m_waitCursor; }

    scan::ScanOptions ReadControls() override { return options; }

private:
    std::vector<Row> m_rows;
    int m_waitCursor = 0;
};

}  // namespace wintest

#endif
