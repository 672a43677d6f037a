#include "GuiHarness.h"

#include "app/MainDlg.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>

namespace gui {

namespace {

// Messages the hook on a dialog's thread recognises: a flush marker (wParam
// is the event to set) and a call to run (wParam points at the call).
UINT FlushMessage()
{
    static const UINT id = ::RegisterWindowMessageA("VeltmorTestFlush");
    return id;
}
UINT RunMessage()
{
    static const UINT id = ::RegisterWindowMessageA("VeltmorTestRun");
    return id;
}

struct RunRequest {
    const std::function<void()>* fn;
    HANDLE done;
};

void PostAndWait(DWORD threadId, UINT message, WPARAM wParam, HANDLE event, DWORD timeoutMs = 10000)
{
    // Once the dialog has closed its thread takes no more messages and ends:
    // stop waiting then rather than at the timeout.
    HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (::PostThreadMessageA(threadId, message, wParam, 0)) {
        if (thread) {
            const HANDLE either[] = {event, thread};
            ::WaitForMultipleObjects(2, either, FALSE, timeoutMs);
        } else {
            ::WaitForSingleObject(event, timeoutMs);
        }
    }
    if (thread)
        ::CloseHandle(thread);
}

struct FindState {
    const char* caption;
    HWND except;
    HWND found;
    DWORD pid;
};

BOOL CALLBACK FindByCaption(HWND hwnd, LPARAM lParam)
{
    auto* state = reinterpret_cast<FindState*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != state->pid || hwnd == state->except || !::IsWindowVisible(hwnd))
        return TRUE;
    if (WindowText(hwnd) == state->caption) {
        state->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

LRESULT CALLBACK ModalDialogThread::GetMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == FlushMessage()) {
            ::SetEvent(reinterpret_cast<HANDLE>(msg->wParam));
        } else if (msg->message == RunMessage()) {
            const auto* request = reinterpret_cast<const RunRequest*>(msg->wParam);
            (*request->fn)();
            ::SetEvent(request->done);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

ModalDialogThread::ModalDialogThread(Factory factory)
{
    m_started = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_finished = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this, factory] {
        ::CoInitialize(nullptr);
        m_threadId = ::GetCurrentThreadId();
        m_hook = ::SetWindowsHookExA(WH_GETMESSAGE, &GetMessageHook, nullptr, m_threadId);
        std::unique_ptr<CDialog> dialog = factory();
        m_dialog = dialog.get();
        ::SetEvent(m_started);
        m_result = dialog->DoModal();
        ::UnhookWindowsHookEx(m_hook);
        dialog.reset();
        ::SetEvent(m_finished);
        // The thread's COM stays initialised: dialogs call CoInitialize and
        // never uninitialise, as in the program.
    });
    ::WaitForSingleObject(m_started, INFINITE);
}

ModalDialogThread::~ModalDialogThread()
{
    if (!Finished()) {
        // Close whatever the test left open on that thread, innermost first.
        for (int attempt = 0; attempt < 20 && !Finished(); ++attempt) {
            HWND active = ThreadWindows(m_threadId).hwndActive;
            if (active)
                ::PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
            ::WaitForSingleObject(m_finished, 250);
        }
    }
    if (Finished())
        m_thread.join();
    else
        m_thread.detach();
    ::CloseHandle(m_started);
    ::CloseHandle(m_finished);
}

bool ModalDialogThread::Finished() const
{
    return ::WaitForSingleObject(m_finished, 0) == WAIT_OBJECT_0;
}

HWND ModalDialogThread::WaitForWindow(DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        HWND hwnd = m_dialog->m_hWnd;
        if (hwnd && ::IsWindowVisible(hwnd)) {
            Flush(hwnd);
            return hwnd;
        }
        if (Finished())
            return nullptr;
        ::Sleep(10);
    }
    return nullptr;
}

bool ModalDialogThread::Join(DWORD timeoutMs)
{
    if (::WaitForSingleObject(m_finished, timeoutMs) != WAIT_OBJECT_0)
        return false;
    return true;
}

void ModalDialogThread::RunOnUiThread(const std::function<void()>& fn)
{
    // No timeout: the request lives on this stack until the call has run.
    RunRequest request = {&fn, ::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    PostAndWait(m_threadId, RunMessage(), reinterpret_cast<WPARAM>(&request), request.done, INFINITE);
    ::CloseHandle(request.done);
}

std::unique_ptr<CDialog> NewMainDialog()
{
    auto dlg = std::make_unique<CMainDlg>();
    AfxGetApp()->m_pMainWnd = dlg.get();
    return dlg;
}

void Flush(HWND hwnd)
{
    HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    PostAndWait(::GetWindowThreadProcessId(hwnd, nullptr), FlushMessage(),
                reinterpret_cast<WPARAM>(done), done);
    ::CloseHandle(done);
}

void PressKey(HWND control, UINT vk)
{
    const UINT scan = ::MapVirtualKeyA(vk, 0);
    ::PostMessageA(control, WM_KEYDOWN, vk, 1 | (static_cast<LPARAM>(scan) << 16));
    ::PostMessageA(control, WM_KEYUP, vk, 1 | (static_cast<LPARAM>(scan) << 16) | (3u << 30));
    Flush(control);
}

void Click(HWND button)
{
    ::SendMessageA(button, BM_CLICK, 0, 0);
    Flush(button);
}

std::vector<Row> ReadRows(HWND list)
{
    std::vector<Row> rows;
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        Row row;
        char text[1024];
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
        item.iItem = i;
        item.stateMask = ~0u;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        text[0] = '\0';
        ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        row.item = text;
        row.image = item.iImage;
        row.data = item.lParam;
        row.state = item.state;
        LVITEMA sub = {};
        sub.iSubItem = 1;
        sub.pszText = text;
        sub.cchTextMax = sizeof text;
        text[0] = '\0';
        ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&sub));
        row.value = text;
        rows.push_back(row);
    }
    return rows;
}

std::vector<int> SelectedRows(HWND list)
{
    std::vector<int> rows;
    int i = -1;
    while ((i = static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(i),
                                                LVNI_SELECTED))) != -1)
        rows.push_back(i);
    return rows;
}

void SelectRows(HWND list, const std::vector<int>& rows)
{
    LVITEMA none = {};
    none.stateMask = LVIS_SELECTED;
    ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    for (int row : rows) {
        LVITEMA item = {};
        item.state = LVIS_SELECTED;
        item.stateMask = LVIS_SELECTED;
        ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
}

GUITHREADINFO ThreadWindows(DWORD threadId)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(threadId, &info)) {
        info = {};
        info.cbSize = sizeof info;
    }
    return info;
}

HWND WaitForOtherActive(DWORD threadId, HWND current, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    do {
        HWND active = ThreadWindows(threadId).hwndActive;
        if (active && active != current && ::IsWindowVisible(active))
            return active;
        ::Sleep(20);
    } while (::GetTickCount() - start < timeoutMs);
    return nullptr;
}

std::string WindowText(HWND hwnd)
{
    char text[1024] = "";
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

std::string ClassName(HWND hwnd)
{
    char name[256] = "";
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

bool IsChecked(HWND button)
{
    return ::SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND FindProcessWindow(const char* caption, HWND except, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    do {
        FindState state = {caption, except, nullptr, ::GetCurrentProcessId()};
        ::EnumWindows(&FindByCaption, reinterpret_cast<LPARAM>(&state));
        if (state.found)
            return state.found;
        ::Sleep(20);
    } while (::GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND WaitForProcessWindow(DWORD pid, const char* caption, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    do {
        FindState state = {caption, nullptr, nullptr, pid};
        ::EnumWindows(&FindByCaption, reinterpret_cast<LPARAM>(&state));
        if (state.found)
            return state.found;
        ::Sleep(50);
    } while (::GetTickCount() - start < timeoutMs);
    return nullptr;
}

TempTree::TempTree() : m_folder("vt")
{
    // The folder's path without its trailing backslash.
    m_path = m_folder.Path().substr(0, m_folder.Path().empty() ? 0 : m_folder.Path().size() - 1);
}

std::string TempTree::Make(const std::string& relative) const
{
    std::string path = m_path;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('\\', start);
        if (end == std::string::npos)
            end = relative.size();
        path += "\\" + relative.substr(start, end - start);
        ::CreateDirectoryA(path.c_str(), nullptr);
        start = end + 1;
    }
    return path;
}

std::string TempTree::WriteFile(const std::string& relative, const std::string& bytes) const
{
    const std::string path = m_path + "\\" + relative;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(h);
    }
    return path;
}

bool SaveShortcut(const std::string& linkPath, const LinkFields& fields)
{
    IShellLinkA* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(fields.target.c_str());
    if (!fields.description.empty())
        link->SetDescription(fields.description.c_str());
    if (!fields.arguments.empty())
        link->SetArguments(fields.arguments.c_str());
    if (!fields.workingDirectory.empty())
        link->SetWorkingDirectory(fields.workingDirectory.c_str());
    if (!fields.iconPath.empty())
        link->SetIconLocation(fields.iconPath.c_str(), fields.iconIndex);
    if (fields.hotkey)
        link->SetHotkey(fields.hotkey);
    IPersistFile* file = nullptr;
    bool saved = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t wide[MAX_PATH];
        if (::MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH) > 0)
            saved = SUCCEEDED(file->Save(wide, TRUE));
        file->Release();
    }
    link->Release();
    return saved;
}

}  // namespace gui
