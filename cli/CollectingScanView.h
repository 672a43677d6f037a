// The scan's view for a program without a window: no child windows, no wait
// cursor; the results list is kept in memory in the order the rows arrive,
// each as the scanner's row with what the engine says of it (the command
// adds what it knows of the place and the drive), and so is what the walk
// had to pass over.
#ifndef VELTMOR_CLI_COLLECTINGSCANVIEW_H
#define VELTMOR_CLI_COLLECTINGSCANVIEW_H

#include <cstdint>
#include <string>
#include <vector>

#include "ScanRow.h"
#include "scan/ScanPlatform.h"

namespace cli {

class CCollectingScanView : public scan::ScanView {
public:
    CCollectingScanView() = default;
    ~CCollectingScanView() override;  // deletes the rows, freeing their path copies

    CCollectingScanView(const CCollectingScanView&) = delete;
    CCollectingScanView& operator=(const CCollectingScanView&) = delete;

    // What ReadControls reports to the next scan: the command line's choice.
    scan::ScanOptions options;

    struct Skipped {
        std::string path;
        scan::NotScannedReason reason;
    };

    const std::vector<ScanRow>& Rows() const { return m_rows; }
    // The rows, taken out of the list as DeleteAllRows takes them: their
    // path copies are freed, the list is empty.
    std::vector<ScanRow> TakeRows();
    // Since the last ClearNotScanned; a scan does not clear them itself.
    const std::vector<Skipped>& NotScannedPaths() const { return m_notScanned; }
    void ClearNotScanned() { m_notScanned.clear(); }

    Window FirstChild() override { return nullptr; }
    Window NextSibling(Window) override { return nullptr; }
    void EnableWindow(Window, bool) override {}

    void DeleteAllRows() override;
    int RowCount() override { return static_cast<int>(m_rows.size()); }
    int InsertRow(int index, const char* text, int image) override;
    void SetRowText(int row, int column, const char* text) override;
    bool SetRowData(int row, std::intptr_t data) override;
    void RepaintList() override {}
    void RowPresence(int row, const scan::Presence& presence) override;
    void RowTarget(int row, const scan::ShortcutTarget& target) override;

    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

    scan::ScanOptions ReadControls() override { return options; }

    void NotScanned(const std::string& path, scan::NotScannedReason reason) override
    {
        m_notScanned.push_back({path, reason});
    }

private:
    std::vector<ScanRow> m_rows;
    // The path copy each row owns (SetRowData; 0: none), at the row's
    // index: freed through OnDeleteitemList when the row is deleted or
    // taken, never handed out with the row.
    std::vector<std::intptr_t> m_copies;
    std::vector<Skipped> m_notScanned;
};

}  // namespace cli

#endif
