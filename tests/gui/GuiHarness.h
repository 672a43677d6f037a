// Drives a real modal dialog from a test: the dialog runs DoModal on a UI
// thread of its own while the test thread sends it messages and input, as a
// user and the system would, and reads the controls back.
#ifndef VELTMOR_TESTS_GUI_GUIHARNESS_H
#define VELTMOR_TESTS_GUI_GUIHARNESS_H

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "framework/Framework.h"

namespace gui {

// Runs one dialog modally on a new thread (COM initialised there). The
// factory runs on that thread and returns the dialog; it lives until Join.
class ModalDialogThread {
public:
    using Factory = std::function<std::unique_ptr<CDialog>()>;

    explicit ModalDialogThread(Factory factory);
    ~ModalDialogThread();

    ModalDialogThread(const ModalDialogThread&) = delete;
    ModalDialogThread& operator=(const ModalDialogThread&) = delete;

    // The dialog's window once it is initialised and shown; null on timeout.
    HWND WaitForWindow(DWORD timeoutMs = 10000);
    // Waits for DoModal to return; false on timeout. Result() is then valid.
    bool Join(DWORD timeoutMs = 10000);
    INT_PTR Result() const { return m_result; }
    bool Finished() const;
    DWORD ThreadId() const { return m_threadId; }

    // Runs fn on the UI thread (between messages) and waits for it.
    void RunOnUiThread(const std::function<void()>& fn);

    CDialog* Dialog() const { return m_dialog; }

private:
    static LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam);

    std::thread m_thread;
    CDialog* m_dialog = nullptr;
    HANDLE m_started = nullptr;
    HANDLE m_finished = nullptr;
    INT_PTR m_result = -2;
    DWORD m_threadId = 0;
    HHOOK m_hook = nullptr;
};

// A main dialog made the application's main window, as the program does,
// so dialogs without a parent are owned by it: a ModalDialogThread factory.
std::unique_ptr<CDialog> NewMainDialog();

// Waits until every message posted to the window's thread before this call
// has been dispatched.
void Flush(HWND hwnd);

// Posts a key press (down and up) to a control, through the dialog's own
// keyboard handling in the modal loop, and waits for it to be handled.
void PressKey(HWND control, UINT vk);

// A click on a push button or check box, as the button itself reports it.
void Click(HWND button);

struct Row {
    std::string item;   // column 0
    std::string value;  // column 1
    int image = -1;
    LPARAM data = 0;
    UINT state = 0;
};
std::vector<Row> ReadRows(HWND list);
std::vector<int> SelectedRows(HWND list);
void SelectRows(HWND list, const std::vector<int>& rows);

// The active and the focus window of a thread (null members when it has none).
GUITHREADINFO ThreadWindows(DWORD threadId);
// Waits for a thread's active window to become something other than
// current (a dialog it opened); null on timeout.
HWND WaitForOtherActive(DWORD threadId, HWND current, DWORD timeoutMs = 10000);

std::string WindowText(HWND hwnd);
std::string ClassName(HWND hwnd);
bool IsChecked(HWND button);

// The first top-level window of this process with the given caption,
// visible, other than except; null when none within the timeout.
HWND FindProcessWindow(const char* caption, HWND except = nullptr, DWORD timeoutMs = 10000);

// A visible top-level window of another process with the given caption;
// null when none appears within the timeout.
HWND WaitForProcessWindow(DWORD pid, const char* caption, DWORD timeoutMs = 20000);

// A fresh folder under the Wine prefix's temporary folder, removed with
// everything in it when the object goes.
class TempTree {
public:
    TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Path() const { return m_path; }  // ends without a backslash
    std::string Make(const std::string& relative) const;  // folder (and parents)
    std::string WriteFile(const std::string& relative, const std::string& bytes) const;

private:
    wintest::CTempFolder m_folder;  // made and removed with everything in it
    std::string m_path;
};

// A real shortcut saved through IShellLinkA + IPersistFile::Save.
struct LinkFields {
    std::string target;
    std::string description;
    std::string arguments;
    std::string workingDirectory;
    std::string iconPath;
    int iconIndex = 0;
    WORD hotkey = 0;
};
bool SaveShortcut(const std::string& linkPath, const LinkFields& fields);
inline bool SaveShortcut(const std::string& linkPath, const std::string& target)
{
    LinkFields f;
    f.target = target;
    return SaveShortcut(linkPath, f);
}

}  // namespace gui

#endif
