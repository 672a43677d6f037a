// The scan's view for a program without a window: no child windows, no wait
// cursor; the results list is kept in memory in the order the rows arrive,
// and so is what the walk had to pass over.
#ifndef VELTMOR_CLI_COLLECTINGSCANVIEW_H
#define VELTMOR_CLI_COLLECTINGSCANVIEW_H

#include <cstdint>
#include <string>
#include <vector>

#include "scan/ScanPlatform.h"

namespace cli {

class CCollectingScanView : public scan::ScanView {
public:
    struct Row {
        std::string shortcut;   // column 0
        std::string target;     // column 1
        bool present = false;   // image 1
        scan::Presence presence;  // the whole verdict
        std::string digest;       // of the shortcut file as read
        unsigned recordedDrive = 0;  // what the shortcut recorded of the target's volume
        std::string networkPath;
        std::string address;  // a .url's or .appref-ms's, when it is no path
        std::string bytes;    // the shortcut's checked bytes; empty: not kept
        std::intptr_t copy = 0;  // the path copy the row owns
    };

    CCollectingScanView() = default;
    ~CCollectingScanView() override;  // deletes the rows, freeing their copies

    CCollectingScanView(const CCollectingScanView&) = delete;
    CCollectingScanView& operator=(const CCollectingScanView&) = delete;

    // What ReadControls reports to the next scan: the command line's choice.
    scan::ScanOptions options;

    struct Skipped {
        std::string path;
        scan::NotScannedReason reason;
    };

    const std::vector<Row>& Rows() const { return m_rows; }
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
    std::vector<Row> m_rows;
    std::vector<Skipped> m_notScanned;
};

}  // namespace cli

#endif
