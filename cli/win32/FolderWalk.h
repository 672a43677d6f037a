// Folders opened one below another by handle, each relative to the one
// above and never through a link, so that a folder swapped for a junction
// or a symbolic link between a check and a move cannot steer the move.
//
// Windows opens a link itself when asked to (FILE_OPEN_REPARSE_POINT) and
// its handle says so. Wine 8 follows every Unix symbolic link whatever the
// flag, and its handle then shows the link's far end; but its directory
// listing still marks the entry as a reparse point. So each folder opened is
// also looked up in the folder above (through a handle of its own: Wine keeps
// the first name asked of a listing handle) and must be a plain entry whose
// file id is the handle's.
#ifndef VELTMOR_CLI_WIN32_FOLDERWALK_H
#define VELTMOR_CLI_WIN32_FOLDERWALK_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "Scoped.h"

namespace cli {

// What a step of the walk found.
enum class Step { Opened, Made, Absent, Link, Failed };

// Opens (or, with make, makes) the entry name in folder: a folder when
// isFolder, else a file, with access, without following a link. Link when
// the entry is one or changed while it was opened; Absent when it is not
// there (and make is false); Failed with error set otherwise.
Step OpenBelow(HANDLE folder, const std::wstring& name, bool isFolder, bool make, ACCESS_MASK access, ULONG share,
               ScopedHandle& opened, DWORD& error);

// A new file name in folder (never replacing one), open for writing.
Step CreateBelow(HANDLE folder, const std::wstring& name, ScopedHandle& created, DWORD& error);

// The file id of an open handle (volume-unique on NTFS; the inode under Wine).
bool FileId(HANDLE handle, ULONGLONG& id);

// True when folder's entry name is a plain entry (no link) whose id is id.
bool EntryIs(HANDLE folder, const std::wstring& name, ULONGLONG id);

// Renames file into folder as name; never replaces: false with
// ERROR_ALREADY_EXISTS when name is taken.
bool RenameInto(HANDLE file, HANDLE folder, const std::wstring& name, DWORD& error);

// Sets an open file's attributes (FILE_ATTRIBUTE_*), its times unchanged.
bool SetAttributes(HANDLE file, DWORD attributes);

// Marks an open file (opened with DELETE) to go when its last handle closes.
bool DeleteOnClose(HANDLE file, bool remove, DWORD& error);

// The folders walks have opened, held for the run (without delete sharing,
// so that Windows lets no one rename or remove them, or any folder above
// them, meanwhile): a run moves hundreds of files through the same few
// folders, and each is opened and checked once. What is held is the folder
// itself, not an answer about a path: under Wine, where a Unix rename
// ignores sharing, whatever is made through a held folder still lands in
// that folder, wherever it has been moved.
class CPinnedFolders {
public:
    // root: a plain full path, opened by path (the place a caller trusts:
    // a scanned folder, the quarantine folder, a drive's root). parts: the
    // names below it, in order. make: folders that are missing are made,
    // plain, each in the one above. folder: the last, held here.
    Step Walk(const std::string& root, const std::vector<std::wstring>& parts, bool make, HANDLE& folder,
              std::string& stoppedAt, DWORD& error);

    // Lets every folder go (before folders are removed).
    void Release();

private:
    void Hold(const std::string& path, ScopedHandle handle);
    std::map<std::string, ScopedHandle> m_held;  // by path, ASCII letters in one case
};

// One walk's outcome.
class CFolderWalk {
public:
    explicit CFolderWalk(CPinnedFolders& pins) : m_pins(pins) {}

    Step Open(const std::string& root, const std::vector<std::wstring>& parts, bool make);

    HANDLE Folder() const { return m_folder; }
    // The path of the link (or unreadable part) that stopped the walk.
    const std::string& StoppedAt() const { return m_stoppedAt; }
    DWORD Error() const { return m_error; }

private:
    CPinnedFolders& m_pins;
    HANDLE m_folder = INVALID_HANDLE_VALUE;
    std::string m_stoppedAt;
    DWORD m_error = ERROR_SUCCESS;
};

// The names of path below root ("" parts refused): false when path does not
// lie below root.
bool PartsBelow(const std::string& root, const std::string& path, std::vector<std::wstring>& parts);

}  // namespace cli

#endif
