// The scanner's system side over the real Win32 calls. On a console, text
// goes out through WriteConsoleW, so the console shows the names as the
// dialog does whatever its code page; to a pipe or file, the bytes go out as
// they are: system code page text for text and CSV, UTF-8 for JSON. COM must
// be initialised on the calling thread (WhyNoTarget reads shortcuts).
#ifndef VELTMOR_CLI_WIN32SCANHOST_H
#define VELTMOR_CLI_WIN32SCANHOST_H

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include "ScanHost.h"
#include "scan/Win32ScanFileSystem.h"

namespace cli {

// Why each shortcut that gave no target gave none, noted while it was open
// for its first read, so that saying why costs one more call on an open
// shortcut rather than a second open. Shared by every reader thread.
class CEmptyTargetNotes {
public:
    void Note(const char* shortcutPath, MissingReason reason);
    // Takes the note; false when there is none.
    bool Take(const std::string& shortcutPath, MissingReason& reason);

private:
    std::mutex m_mutex;
    std::map<std::string, MissingReason> m_reasons;
};

// The scanner's file system: reads as CWin32ScanFileSystem does, with fewer
// calls (the shell link's class object asked for once, no find data), and
// notes the reason of each empty target in notes (none: nowhere). Used on
// one thread, and gone (or ReleaseLinkMaker called) before it ends COM.
class CNotingScanFileSystem : public scan::CWin32ScanFileSystem {
public:
    CNotingScanFileSystem(HWND owner, CEmptyTargetNotes* notes);  // we own neither
    ~CNotingScanFileSystem() override;
    CNotingScanFileSystem(const CNotingScanFileSystem&) = delete;
    CNotingScanFileSystem& operator=(const CNotingScanFileSystem&) = delete;

    void ResolveShortcut(const char* shortcutPath, char* target) override;

protected:
    void ReleaseLinkMaker();

private:
    CEmptyTargetNotes* m_notes;
    IClassFactory* m_linkMaker = nullptr;  // ours; null until the first read, or when not given
    bool m_linkMakerAsked = false;
};

class CWin32ScanHost : public ScanHost {
public:
    CWin32ScanHost();

    std::string LocationFolder(Location location) override;
    std::string CurrentProfile() override;
    std::vector<ProfileRecord> Profiles() override;
    bool MachineVariable(const std::string& name, std::string& value) override;
    bool IsFolder(const std::string& path) override;
    MissingReason WhyNoTarget(const std::string& shortcut) override;
    bool RunsUnderWow64() override;
    std::string AnsiToUtf8(const std::string& ansi) override;
    bool WriteOutput(const std::string& text, Encoding encoding) override;
    void WriteError(const std::string& line) override;
    bool ProgressWanted() override;
    std::uint64_t Milliseconds() override;
    void ShowProgress(const std::string& line) override;

    // What the scan's file systems note for WhyNoTarget.
    CEmptyTargetNotes& Notes() { return m_notes; }

private:
    static bool Write(HANDLE stream, const std::string& text, UINT codePage);

    HANDLE m_output;  // the process's standard handles: we don't own them
    HANDLE m_error;
    std::size_t m_progressShown = 0;  // characters of the progress line on the console
    CEmptyTargetNotes m_notes;
};

// Why a shortcut gave no target, read again through the shell link
// service: Unreadable when it does not open, InstallerManaged when it
// carries a darwin identifier (SLDF_HAS_DARWINID), NoFileTarget otherwise.
// For a shortcut whose first read was not noted.
MissingReason ReadWhyNoTarget(const char* shortcutPath);

}  // namespace cli

#endif
