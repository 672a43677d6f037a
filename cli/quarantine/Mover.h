// The file operations the quarantine needs. Paths are UTF-8 plain full paths
// (see QuarantineLayout.h); the system side reaches past 260 characters.
// Kept free of <windows.h> so that the quarantine's logic builds anywhere.
#ifndef VELTMOR_CLI_MOVER_H
#define VELTMOR_CLI_MOVER_H

#include <string>
#include <vector>

namespace cli {

class Mover {
public:
    enum class Moved { Yes, Taken, Failed };
    enum class Read { Done, Absent, Failed };

    virtual ~Mover() = default;

    // The full path of path as given on a command line (relative, '/' or
    // "\\?\" forms); "" when the system cannot make one.
    virtual std::string FullPath(const std::string& path) = 0;

    virtual bool Exists(const std::string& path) = 0;  // a file or a folder
    virtual bool IsFolder(const std::string& path) = 0;

    // Makes folder and every missing folder above it; true when it exists.
    virtual bool MakeFolders(const std::string& folder) = 0;

    // Moves a file; never replaces one: Taken when to exists. The folder of
    // to must exist. On Failed, from is where it was.
    virtual Moved Move(const std::string& from, const std::string& to) = 0;

    // Every file below folder, as paths relative to it, in the order found;
    // folders that could not be read (or are links elsewhere) in skipped.
    virtual void ListFiles(const std::string& folder, std::vector<std::string>& files,
                           std::vector<std::string>& skipped) = 0;

    // Removes the empty folders below folder, deepest first; never folder.
    virtual void RemoveEmptyFolders(const std::string& folder) = 0;

    virtual Read ReadFile(const std::string& path, std::string& bytes) = 0;

    // Writes bytes to path so that a crash at any moment leaves either the
    // old file or the new one whole: a temporary file beside it, flushed,
    // then moved over it.
    virtual bool ReplaceFile(const std::string& path, const std::string& bytes) = 0;

    // The system's words for the last failure.
    virtual std::string LastError() = 0;

    virtual std::string UtcTime() = 0;  // "2024-05-01T09:30:00Z"
    virtual std::string ComputerName() = 0;
};

}  // namespace cli

#endif
