// The shortcut scan: the Scan command, the depth-first walk, the display
// filter and the result rows. The main dialog owns one and forwards its Scan
// button and the list's row deletions here.
#ifndef VELTMOR_SCAN_SCANENGINE_H
#define VELTMOR_SCAN_SCANENGINE_H

#include <cstdint>

#include "ScanPlatform.h"

namespace scan {

class CScanEngine {
public:
    CScanEngine(ScanFileSystem& fileSystem, ScanView& view);

    CScanEngine(const CScanEngine&) = delete;
    CScanEngine& operator=(const CScanEngine&) = delete;

    // The Scan command: disable the dialog, clear the list, read the path and
    // options, walk, enable the dialog again.
    void OnScan();

    void EnableChildren(bool enable);

    // Walks one folder, then its sub-folders, depth first.
    void ScanFolder(const char* path);

    // Decides with the options of the current scan.
    bool ShouldList(bool exists, const char* target);

    // Appends a row when the filter lists the shortcut. The row owns a heap
    // copy of shortcutPath in its item data.
    void AddResultRow(bool exists, const char* shortcutPath, const char* target);

    // The list deleted a row: frees its path copy (if any) and clears the
    // field. Returns the notification's result, 0.
    static long OnDeleteitemList(std::intptr_t& itemData);

    // The options the filter uses; set by OnScan from the controls.
    const ScanOptions& Options() const { return m_options; }
    void SetOptions(const ScanOptions& options) { m_options = options; }

private:
    void ScanPass(const char* folder, const char* pattern, bool pif);

    ScanFileSystem& m_fileSystem;
    ScanView& m_view;
    ScanOptions m_options;
};

}  // namespace scan

#endif
