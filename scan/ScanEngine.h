// The shortcut scan: the Scan command, the depth-first walk, the display
// filter and the result rows. The main dialog owns one and forwards its Scan
// button and the list's row deletions here.
#ifndef VELTMOR_SCAN_SCANENGINE_H
#define VELTMOR_SCAN_SCANENGINE_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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

    // Walks one folder, then its sub-folders, depth first. A folder that is
    // already on the way down (reached again through a link) is not entered.
    void ScanFolder(const std::string& path);

    // Reads one shortcut's target through fileSystem and tests its presence.
    // With the default options the target's drive is asked first and only a
    // fixed drive's target is tested: no other can be listed, and testing it
    // can wait for a network or spin up a disc. Safe to call from several
    // threads at once, each with its own file system.
    ShortcutRead ReadShortcut(ScanFileSystem& fileSystem, const std::string& shortcutPath, bool pif);

    // Decides with the options of the current scan. exists: the target was
    // not proven missing.
    bool ShouldList(bool exists, const std::string& target);

    // Appends a row when the filter lists the shortcut. The row owns a heap
    // copy of shortcutPath in its item data. A target that could not be
    // verified is never called broken: it is listed as present.
    void AddResultRow(const std::string& shortcutPath, const ShortcutRead& read);

    // The list deleted a row: frees its path copy (if any) and clears the
    // field. Returns the notification's result, 0.
    static long OnDeleteitemList(std::intptr_t& itemData);

    // The options the filter uses; set by OnScan from the controls.
    const ScanOptions& Options() const { return m_options; }
    void SetOptions(const ScanOptions& options) { m_options = options; }

    // While set, the walk hands each shortcut to sink instead of reading it;
    // whoever reads them adds the rows (AddResultRow) in the sink's order.
    void SetShortcutSink(ShortcutSink* sink) { m_sink = sink; }

    // How many presence tests the drive-first order avoided since the last
    // Scan command.
    unsigned SkippedPresenceTests() const { return m_skippedPresenceTests; }

private:
    void ScanPass(const std::string& folder, const std::string& pattern, bool pif);
    // True when path, with a final backslash, fits the file system's calls.
    bool FolderFits(const std::string& path);
    bool DefaultOptions() const { return m_options.ignoreRemovable && !m_options.displayAll; }
    // The drive type of target's root, asked once per root for a scan.
    unsigned RootDriveType(ScanFileSystem& fileSystem, const std::string& target);

    ScanFileSystem& m_fileSystem;
    ScanView& m_view;
    ScanOptions m_options;
    ShortcutSink* m_sink = nullptr;  // we don't own it
    std::vector<FolderId> m_ancestors;  // the folders on the way down

    std::mutex m_driveMutex;  // readers on other threads share the cache
    std::map<std::string, unsigned> m_driveTypes;
    unsigned m_skippedPresenceTests = 0;
};

}  // namespace scan

#endif
