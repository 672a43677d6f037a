// The file operations the quarantine, the repair and the restore need (the
// file store). Paths are UTF-8 plain full paths (see QuarantineLayout.h); the
// system side reaches past 260 characters and acts on handles, never again
// on a path it checked.
// Kept free of <windows.h> so that the quarantine's logic builds anywhere.
#ifndef VELTMOR_CLI_MOVER_H
#define VELTMOR_CLI_MOVER_H

#include <string>
#include <vector>

namespace cli {

class Mover {
public:
    enum class Moved { Yes, Taken, Failed, Changed, Link };
    enum class Read { Done, Absent, Failed, TooLarge, Link };

    virtual ~Mover() = default;

    // The full path of path as given on a command line (relative, '/' or
    // "\\?\" forms); "" when the system cannot make one.
    virtual std::string FullPath(const std::string& path) = 0;

    virtual bool Exists(const std::string& path) = 0;  // a file or a folder
    virtual bool IsFolder(const std::string& path) = 0;

    // Makes folder and every missing folder above it; true when it exists.
    virtual bool MakeFolders(const std::string& folder) = 0;

    // Every file below is named by a root the caller trusts (a scanned
    // folder, the quarantine folder, a drive's root) and a path below it.
    // Each folder below the root is opened by handle, relative to the one
    // above, and never through a link: a link on the way gives Link, and
    // StoppedAt names it; nothing is made beyond it. The file itself is
    // acted on through the handle that checked it.

    // How a move puts the file at its new place.
    enum class Transfer {
        Rename,  // the file itself: into the quarantine folder, which only its owners write
        // A new file with the same bytes, times and attributes, then the old
        // one removed: nothing is renamed into a folder a user may swap.
        Copy,
    };

    // Moves from (below fromRoot) to to (below toRoot), making to's missing
    // folders; never over a file (Taken). digest: the bytes read through the
    // moving handle must give it, or nothing moves (Changed); "" takes any.
    // On anything but Yes, from is where it was.
    virtual Moved Move(const std::string& fromRoot, const std::string& from, const std::string& toRoot,
                       const std::string& to, const std::string& digest, Transfer how) = 0;

    // Writes bytes over the file at path only while its bytes give digest,
    // through one handle that no one may write, rename or delete meanwhile:
    // a shortcut changed since the scan is left alone (Changed).
    virtual Moved RewriteIfSame(const std::string& root, const std::string& path, const std::string& digest,
                                const std::string& bytes) = 0;

    // A new file at path with bytes, its missing folders made; never over a
    // file (Taken). Flush::Now: on the disk when it returns (a repair's kept
    // bytes, before its shortcut changes); Flush::Batch: flushed with a batch
    // of them, at the latest by Settle (a recovery's thousands of files:
    // one flush commits the file system's journal for all).
    enum class Flush { Now, Batch };
    virtual Moved WriteNew(const std::string& root, const std::string& path, const std::string& bytes,
                           Flush flush = Flush::Now) = 0;

    // Removes the file at path while its bytes give digest ("": any).
    virtual Moved RemoveIfSame(const std::string& root, const std::string& path, const std::string& digest) = 0;

    // The bytes of the file at path; TooLarge, and nothing read, when it is
    // larger than limit.
    virtual Read ReadBelow(const std::string& root, const std::string& path, std::size_t limit,
                           std::string& bytes) = 0;

    // The link or part that stopped the last walk.
    virtual std::string StoppedAt() = 0;

    // A Copy move may leave its original until a batch of copies is on the
    // disk (and a Flush::Batch write its file unflushed): this flushes them
    // and removes their originals. False, with
    // LastError, when one could not be finished (its original stays beside
    // its copy). Called before a run ends and before folders are removed.
    virtual bool Settle() = 0;

    // Every file below folder, as paths relative to it, in the order found;
    // folders that could not be read (or are links elsewhere) in skipped.
    virtual void ListFiles(const std::string& folder, std::vector<std::string>& files,
                           std::vector<std::string>& skipped) = 0;

    // Removes the empty folders below folder, deepest first; never folder.
    virtual void RemoveEmptyFolders(const std::string& folder) = 0;

    virtual Read ReadFile(const std::string& path, std::string& bytes) = 0;

    // The first file or folder below root, down to path itself, that is a
    // link to elsewhere (a symbolic link, a junction, a mount point) or whose
    // kind cannot be read; "" when there is none. Parts that do not exist
    // yet end the walk. A check by path, for what is not then moved through
    // it: the quarantine folder itself, a repair's new target.
    virtual std::string LinkBelow(const std::string& root, const std::string& path) = 0;

    // Holds path, a file of the quarantine folder, for this process alone
    // until it ends: a second run on the same folder is refused. False, with
    // LastError, when another holds it or it cannot be made.
    virtual bool Lock(const std::string& path) = 0;

    // Appends text to the journal at path, made new when absent and never
    // through a link. Not flushed line by line: a killed process loses
    // nothing the system was handed; a power cut may lose the last lines.
    virtual bool Append(const std::string& path, const std::string& text) = 0;

    // Removes a file (the journal once the manifest holds it); true when
    // it is gone.
    virtual bool Remove(const std::string& path) = 0;
    // Removes an empty folder.
    virtual void RemoveFolder(const std::string& folder) = 0;

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
