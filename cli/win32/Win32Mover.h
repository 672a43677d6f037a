// The quarantine's file operations over the wide-character Win32 and NT
// calls: each file reached by handle from a trusted root (FolderWalk.h), the
// roots and the quarantine folder's own files by "\\?\" paths, so that a
// quarantine folder plus a whole original path can pass 260 characters.
#ifndef VELTMOR_CLI_WIN32MOVER_H
#define VELTMOR_CLI_WIN32MOVER_H

#include <windows.h>

#include "FolderWalk.h"
#include "cli/quarantine/Mover.h"

namespace cli {

class CWin32Mover : public Mover {
public:
    CWin32Mover() = default;
    ~CWin32Mover() override;
    CWin32Mover(const CWin32Mover&) = delete;
    CWin32Mover& operator=(const CWin32Mover&) = delete;

    std::string FullPath(const std::string& path) override;
    bool Exists(const std::string& path) override;
    bool IsFolder(const std::string& path) override;
    bool MakeFolders(const std::string& folder) override;
    Moved Move(const std::string& fromRoot, const std::string& from, const std::string& toRoot, const std::string& to,
               const std::string& digest, Transfer how) override;
    Moved RewriteIfSame(const std::string& root, const std::string& path, const std::string& digest,
                        const std::string& bytes) override;
    Moved WriteNew(const std::string& root, const std::string& path, const std::string& bytes,
                   Flush flush = Flush::Now) override;
    Moved RemoveIfSame(const std::string& root, const std::string& path, const std::string& digest) override;
    Read ReadBelow(const std::string& root, const std::string& path, std::size_t limit, std::string& bytes) override;
    std::string StoppedAt() override;
    bool Settle() override;
    void ListFiles(const std::string& folder, std::vector<std::string>& files,
                   std::vector<std::string>& skipped) override;
    void RemoveEmptyFolders(const std::string& folder) override;
    Read ReadFile(const std::string& path, std::string& bytes) override;
    bool ReplaceFile(const std::string& path, const std::string& bytes) override;
    std::string LinkBelow(const std::string& root, const std::string& path) override;
    bool Lock(const std::string& path) override;
    bool Append(const std::string& path, const std::string& text) override;
    bool Remove(const std::string& path) override;
    void RemoveFolder(const std::string& folder) override;
    std::string LastError() override;
    std::string UtcTime() override;
    std::string ComputerName() override;

private:
    Moved WalkTo(const std::string& root, const std::string& path, bool make, CFolderWalk& walk, std::wstring& name);
    Moved OpenFile(const std::string& root, const std::string& path, ACCESS_MASK access, CFolderWalk& walk,
                   ScopedHandle& file);
    void List(const std::wstring& folder, const std::string& relative, std::vector<std::string>& files,
              std::vector<std::string>& skipped);
    // Keeps the failure LastError reports: later calls would overwrite it.
    bool Fail();
    DWORD m_error = ERROR_SUCCESS;
    HANDLE m_lock = INVALID_HANDLE_VALUE;     // ours while the run lasts
    HANDLE m_journal = INVALID_HANDLE_VALUE;  // ours, open for appending
    std::string m_journalPath;
    std::string m_stoppedAt;  // of the last walk
    CPinnedFolders m_pins;     // the folders walked this run
    // Copies written whose originals go once they are flushed (Settle); a
    // batched new file has no original.
    struct Copied {
        ScopedHandle copy, original;
    };
    std::vector<Copied> m_pending;
};

}  // namespace cli

#endif
