// What the shortcut scan needs from the platform, and nothing more. Kept free
// of <windows.h> so that the scan logic builds and is tested on any system.
#ifndef VELTMOR_SCAN_SCANPLATFORM_H
#define VELTMOR_SCAN_SCANPLATFORM_H

#include <cstdint>
#include <string>
#include <vector>

#include "PathText.h"

namespace scan {

constexpr unsigned kAttributeDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr unsigned kDriveFixed = 3;             // DRIVE_FIXED

struct FindEntry {
    std::string name;
    unsigned attributes = 0;
    // False when the adapter cannot spell a name that reaches this entry and
    // no other: the walk passes over it rather than read a look-alike.
    bool exact = true;
};

// What makes a folder itself, whatever path reaches it: links and junctions
// give other paths to the same folder.
struct FolderId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;

    bool operator==(const FolderId& other) const
    {
        return volume == other.volume && index == other.index;
    }
};

// A target is missing only when the system said it is not there. Any other
// failure of the test (access denied, a network error, a name the call
// cannot take) proves nothing: Unverified, with the system's words.
enum class Verdict { Present, Missing, Unverified };

struct Presence {
    Verdict verdict = Verdict::Missing;
    std::string detail;  // why Unverified

    bool ProvenMissing() const { return verdict == Verdict::Missing; }
};

// A shortcut's target as read. text is what the list shows; exact, when not
// empty, is the adapter's own lossless form of it, for the presence test
// (the dialog's ANSI text cannot spell every name). unverifiable, when not
// empty, says why the target cannot be tested at all. digest, when not
// empty, is the adapter's digest of the shortcut file as it was read, so
// that whoever acts on it later can tell it is still that file.
// recordedDrive and networkPath are what the shortcut's link info recorded
// of the target's volume: a drive type (DRIVE_REMOTE for a share; 0:
// none recorded) and the target's path on its share ("\\server\share\dir\app.exe";
// empty: none), so that a drive letter absent now (a mapped drive in
// another session, a USB disk away) is not taken for one that is gone.
struct ShortcutTarget {
    std::string text;
    std::string exact;
    std::string unverifiable;
    std::string digest;
    unsigned recordedDrive = 0;
    std::string networkPath;
    // Set by an adapter that judged the shortcut itself rather than by its
    // target's presence (an installer's or a registry's answer): the engine
    // takes it as it is, and lists a proven-missing one with the default
    // options whatever its target's root. address: what the shortcut names
    // when it is no path (a URL, a deployment), for the rows.
    bool judged = false;
    Presence judgement;
    std::string address;
    // The file's bytes as the structure check passed them, kept so that no
    // later step (evidence, the shell's resolution) reads the file again;
    // empty when not kept.
    std::string bytes;
};

// True when path holds '?' past a "\\?\" prefix: no file name can hold one,
// so the link service gave a code-page copy of a name it could not spell.
inline bool HoldsCodePageFallback(const std::string& path)
{
    const std::size_t from = path.compare(0, 4, "\\\\?\\") == 0 ? 4 : 0;
    return path.find('?', from) != std::string::npos;
}

// True when a part of path (UTF-8) below its root holds a character no file name
// may hold (a control character, < > | or a double quote), and nothing that
// would say the text is not the stored name itself ('?' of a code-page copy,
// '*'). A system refusing such a name has said the file cannot be there.
inline bool NameCannotExist(const std::string& path)
{
    std::size_t from = path.compare(0, 4, "\\\\?\\") == 0 ? 4 : 0;
    if (path.size() >= from + 2 && path[from + 1] == ':')
        from += 2;
    bool impossible = false;
    for (std::size_t i = from; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '?' || c == '*')
            return false;
        impossible = impossible || c < 0x20 || c == '<' || c == '>' || c == '|' || c == '"';
    }
    return impossible;
}

// The file-system side: folder search, path helpers, presence tests, drive
// types and the shortcut reader. Paths are in the adapter's own encoding
// (the dialog's: the system code page; the scanner's: UTF-8).
class ScanFileSystem : public CodePage {
public:
    using Search = void*;

    // True when every call of this adapter takes path: the dialog's stops
    // at 259 characters, the scanner's reaches the system's own limit.
    virtual bool Fits(const std::string& path) = 0;

    // Null when nothing matches or the folder cannot be enumerated.
    virtual Search FindFirst(const std::string& pattern, FindEntry& entry) = 0;
    virtual bool FindNext(Search search, FindEntry& entry) = 0;
    virtual void FindClose(Search search) = 0;
    // After FindFirst gave null: true when the folder could not be read at
    // all, false when nothing in it matched.
    virtual bool SearchFailed() = 0;

    // False when the folder's identity cannot be read.
    virtual bool FolderIdentity(const std::string& folder, FolderId& id) = 0;

    // Appends a backslash unless the path is empty or already ends with one
    // (read by character). The caller makes sure the result Fits.
    virtual void AddBackslash(std::string& path) = 0;

    // Presence of a .lnk target and of a .pif target; both treat an existing
    // file or folder as present and the empty path as missing.
    virtual Presence LinkTargetPresence(const ShortcutTarget& target) = 0;
    virtual Presence PifTargetPresence(const ShortcutTarget& target) = 0;

    // The root of path: "C:\" or "\\server\share".
    virtual std::string Root(const std::string& path) = 0;
    virtual unsigned DriveType(const std::string& root) = 0;

    // Reads the target of one shortcut; leaves it empty on any failure.
    virtual void ResolveShortcut(const std::string& shortcutPath, ShortcutTarget& target) = 0;

    // A text of the program's string table.
    virtual std::string LoadText(unsigned id) = 0;

    // Name patterns of further kinds of shortcut this adapter reads, searched
    // after *.lnk and *.pif in each folder; the dialog's reads none.
    virtual std::vector<std::string> MoreShortcutPatterns() { return {}; }
};

// What the scan reads and shows: the scan-from path and the two options.
struct ScanOptions {
    std::string scanFrom;
    bool ignoreRemovable = true;
    bool displayAll = false;
};

enum class NotScannedReason {
    PathTooLong,   // the path does not fit the adapter's calls
    CannotOpen,    // the folder could not be read
    NameNotExact,  // its name cannot be spelled so as to reach it alone
};

// What reading one shortcut gives.
struct ShortcutRead {
    ShortcutTarget target;
    Presence presence;
};

// The dialog side: its child windows, the results list, the wait cursor and
// the controls holding the path and the options.
class ScanView {
public:
    using Window = void*;

    virtual ~ScanView() = default;

    // Child windows in window order; null ends the walk.
    virtual Window FirstChild() = 0;
    virtual Window NextSibling(Window child) = 0;
    virtual void EnableWindow(Window child, bool enable) = 0;

    // Deletes every row; the list reports each one to
    // CScanEngine::OnDeleteitemList so that its path copy is freed.
    virtual void DeleteAllRows() = 0;
    virtual int RowCount() = 0;
    // Returns the new row's index, or -1 when the list refused it.
    virtual int InsertRow(int index, const char* text, int image) = 0;
    virtual void SetRowText(int row, int column, const char* text) = 0;
    virtual bool SetRowData(int row, std::intptr_t data) = 0;
    virtual void RepaintList() = 0;

    // The whole verdict of a row just added, and the target as read; the
    // dialog shows only the image and the target's text.
    virtual void RowPresence(int row, const Presence& presence)
    {
        (void)row;
        (void)presence;
    }
    virtual void RowTarget(int row, const ShortcutTarget& target)
    {
        (void)row;
        (void)target;
    }

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Reads the controls into the dialog's members (the result of the
    // validation is not consulted) and reports what was read.
    virtual ScanOptions ReadControls() = 0;

    // A folder or shortcut the walk had to pass over. The dialog passes over
    // them silently; the command-line scanner names them.
    virtual void NotScanned(const std::string& path, NotScannedReason reason)
    {
        (void)path;
        (void)reason;
    }
};

// Takes the shortcuts a walk finds, in walk order, when their reading is
// left to someone else (the parallel scanner's readers).
class ShortcutSink {
public:
    virtual ~ShortcutSink() = default;
    virtual void Shortcut(const std::string& shortcutPath, bool pif) = 0;
};

}  // namespace scan

#endif
