// The result-list actions in the real main dialog under Wine: Delete sends
// real shortcut files to the Recycle Bin through the shell, whose own
// confirmations the test answers; Enter and a double-click open Properties.
//
// The test watches, without replacing, three things the program does: the
// shell file operations and beeps it asks for (through its import table) and
// the array deletions that free the rows' path copies.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <sstream>

#include "CopyWatch.h"
#include "GuiHarness.h"
#include "ImportHook.h"
#include "app/MainDlg.h"
#include "resource.h"

namespace {

using gui::Row;

// One SHFileOperationA call as the program made it and as the shell answered.
struct ShellCall {
    HWND hwnd = nullptr;
    UINT func = 0;
    FILEOP_FLAGS flags = 0;
    bool noDestination = false;
    std::vector<std::string> names;  // read as the shell reads the list
    int result = -1;
    BOOL aborted = FALSE;
};

std::mutex g_callLock;
std::vector<ShellCall> g_calls;
std::atomic<int> g_callsEnded{0};
gui::CImportHook* g_fileOperationHook = nullptr;

std::atomic<int> g_beeps{0};
std::atomic<UINT> g_lastBeep{0};
gui::CImportHook* g_beepHook = nullptr;

int WINAPI WatchedFileOperation(LPSHFILEOPSTRUCTA op)
{
    ShellCall call;
    call.hwnd = op->hwnd;
    call.func = op->wFunc;
    call.flags = op->fFlags;
    call.noDestination = op->pTo == nullptr;
    for (const char* name = op->pFrom; name && *name; name += std::strlen(name) + 1)
        call.names.emplace_back(name);

    const auto original = g_fileOperationHook->Original<int(WINAPI*)(LPSHFILEOPSTRUCTA)>();
    call.result = original(op);
    call.aborted = op->fAnyOperationsAborted;
    {
        std::lock_guard<std::mutex> lock(g_callLock);
        g_calls.push_back(call);
    }
    ++g_callsEnded;
    return call.result;
}

BOOL WINAPI WatchedMessageBeep(UINT type)
{
    g_lastBeep = type;
    ++g_beeps;
    return g_beepHook->Original<BOOL(WINAPI*)(UINT)>()(type);
}

std::vector<ShellCall> Calls()
{
    std::lock_guard<std::mutex> lock(g_callLock);
    return g_calls;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool Exists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The Recycle Bin as Wine 8 keeps it: the desktop's trash in the Unix home,
// $XDG_DATA_HOME/Trash or ~/.local/share/Trash, with the file under files/
// and a files' .trashinfo under info/ that records where it came from.
class CRecycleBin {
public:
    struct Entry {
        std::string file;  // the moved file, as a DOS path through Z:
        std::string info;
    };

    CRecycleBin()
    {
        char value[MAX_PATH] = "";
        if (::GetEnvironmentVariableA("XDG_DATA_HOME", value, sizeof value) && value[0] == '/') {
            m_folder = std::string("Z:") + value + "\\Trash";
        } else if (::GetEnvironmentVariableA("WINEHOMEDIR", value, sizeof value)) {
            std::string home = value;  // \??\Z:\home\user
            if (home.rfind("\\??\\", 0) == 0)
                home.erase(0, 4);
            m_folder = home + "\\.local\\share\\Trash";
        }
        std::replace(m_folder.begin(), m_folder.end(), '/', '\\');
    }

    ~CRecycleBin()
    {
        // Nothing the tests sent there stays behind in the user's trash.
        for (const Entry& e : m_taken) {
            ::DeleteFileA(e.file.c_str());
            ::DeleteFileA(e.info.c_str());
        }
    }

    const std::string& Folder() const { return m_folder; }

    // Empties the bin of everything that came from under a folder (given as
    // its Unix path), so a failed test leaves nothing in the user's trash.
    void ForgetEverythingFrom(const std::string& unixFolder)
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = ::FindFirstFileA((m_folder + "\\info\\*.trashinfo").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return;
        do {
            const std::string info = m_folder + "\\info\\" + fd.cFileName;
            if (RecordedPath(info).rfind(unixFolder + "/", 0) == 0) {
                std::string name = fd.cFileName;
                name.resize(name.size() - std::strlen(".trashinfo"));
                ::DeleteFileA((m_folder + "\\files\\" + name).c_str());
                ::DeleteFileA(info.c_str());
            }
        } while (::FindNextFileA(h, &fd));
        ::FindClose(h);
    }

    // The Unix path the bin records for a DOS path; taken while the file is
    // still in place.
    static std::string UnixPath(const std::string& dosPath)
    {
        using ToUnix = char*(CDECL*)(LPCWSTR);
        auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
        if (!toUnix)
            return "";
        wchar_t wide[1024];
        ::MultiByteToWideChar(CP_ACP, 0, dosPath.c_str(), -1, wide, 1024);
        char* unix = toUnix(wide);
        if (!unix)
            return "";
        std::string result = unix;
        ::HeapFree(::GetProcessHeap(), 0, unix);
        return result;
    }

    // The entry whose record names unixPath; both members empty when none.
    Entry Find(const std::string& unixPath)
    {
        Entry found;
        WIN32_FIND_DATAA fd;
        HANDLE h = ::FindFirstFileA((m_folder + "\\info\\*.trashinfo").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return found;
        do {
            const std::string info = m_folder + "\\info\\" + fd.cFileName;
            if (RecordedPath(info) == unixPath) {
                std::string name = fd.cFileName;
                name.resize(name.size() - std::strlen(".trashinfo"));
                found = {m_folder + "\\files\\" + name, info};
                m_taken.push_back(found);
            }
        } while (found.info.empty() && ::FindNextFileA(h, &fd));
        ::FindClose(h);
        return found;
    }

    // Puts a file back where it came from and drops its record.
    static bool Restore(const Entry& entry, const std::string& original)
    {
        if (!::MoveFileA(entry.file.c_str(), original.c_str()))
            return false;
        return ::DeleteFileA(entry.info.c_str()) != FALSE;
    }

private:
    // Where a record says its file came from.
    static std::string RecordedPath(const std::string& info)
    {
        std::istringstream lines(ReadBytes(info));
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("Path=", 0) == 0)
                return Unescape(line.substr(5));
        }
        return "";
    }

    // The record's path is URL-escaped.
    static std::string Unescape(const std::string& text)
    {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size()) {
                out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
            } else {
                out += text[i];
            }
        }
        while (!out.empty() && (out.back() == '\r' || out.back() == '\n'))
            out.pop_back();
        return out;
    }

    std::string m_folder;
    std::vector<Entry> m_taken;
};

// The target a shortcut file names, read back through the shell.
std::string TargetOf(const std::string& link)
{
    IShellLinkA* shell = nullptr;
    std::string target;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&shell))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t wide[MAX_PATH];
        ::MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
        char path[MAX_PATH] = "";
        if (SUCCEEDED(file->Load(wide, STGM_READ)) &&
            SUCCEEDED(shell->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
        file->Release();
    }
    shell->Release();
    return target;
}

// A question the shell put up, with what the list showed meanwhile.
struct Question {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> cutRows;  // rows drawn dimmed while it was up
};

struct FindDialogState {
    HWND except;
    HWND found;
};

BOOL CALLBACK FindOtherDialog(HWND hwnd, LPARAM lParam)
{
    auto* state = reinterpret_cast<FindDialogState*>(lParam);
    if (hwnd != state->except && ::IsWindowVisible(hwnd) && gui::ClassName(hwnd) == "#32770") {
        state->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Wine draws its confirmation's question itself and keeps the text in a
// window property; Windows shows it in a static control.
std::string QuestionText(HWND dialog)
{
    if (const auto* wide = static_cast<const wchar_t*>(::GetPropW(dialog, L"WINE_CONFIRM"))) {
        char text[2048] = "";
        ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        return text;
    }
    std::string text;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (gui::ClassName(child) == "Static")
            text += gui::WindowText(child) + "\n";
    }
    return text;
}

std::vector<int> CutRows(HWND list)
{
    std::vector<int> cut;
    const std::vector<Row> rows = gui::ReadRows(list);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].state & LVIS_CUT)
            cut.push_back(static_cast<int>(i));
    }
    return cut;
}

class ResultActions : public ::testing::Test {
protected:
    static constexpr int kShortcuts = 10;

    void SetUp() override
    {
        g_calls.clear();
        g_callsEnded = 0;
        g_beeps = 0;
        m_fileOperationHook = std::make_unique<gui::CImportHook>(
            "shell32.dll", "SHFileOperationA", reinterpret_cast<void*>(&WatchedFileOperation));
        m_beepHook = std::make_unique<gui::CImportHook>("user32.dll", "MessageBeep",
                                                        reinterpret_cast<void*>(&WatchedMessageBeep));
        ASSERT_TRUE(m_fileOperationHook->Installed());
        ASSERT_TRUE(m_beepHook->Installed());
        g_fileOperationHook = m_fileOperationHook.get();
        g_beepHook = m_beepHook.get();
        ASSERT_FALSE(m_bin.Folder().empty()) << "no way to find the Recycle Bin";

        m_target = m_tree.WriteFile("target.exe", "MZ");
        m_menu = m_tree.Make("Menu");
        for (int i = 0; i < kShortcuts; ++i) {
            const std::string link = m_menu + "\\Shortcut " + std::to_string(i) + ".lnk";
            ASSERT_TRUE(gui::SaveShortcut(link, m_target));
        }

        m_thread = std::make_unique<gui::ModalDialogThread>(&gui::NewMainDialog);
        m_hwnd = m_thread->WaitForWindow();
        ASSERT_NE(m_hwnd, nullptr) << "the main dialog did not open";
        m_list = ::GetDlgItem(m_hwnd, IDC_LIST);
    }

    void TearDown() override
    {
        CloseMainDialog();
        m_bin.ForgetEverythingFrom(CRecycleBin::UnixPath(m_tree.Path()));
        g_fileOperationHook = nullptr;
        g_beepHook = nullptr;
        gui::ForgetCopies();
    }

    void CloseMainDialog()
    {
        if (m_thread && !m_thread->Finished()) {
            ::PostMessageA(m_hwnd, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(m_thread->Join()) << "the main dialog did not close";
        }
        m_thread.reset();
        AfxGetApp()->m_pMainWnd = nullptr;
    }

    // Scans folder with "Display All Items" ticked, as the user would.
    std::vector<Row> Scan(const std::string& folder)
    {
        HWND edit = ::GetDlgItem(m_hwnd, IDC_EDIT);
        HWND all = ::GetDlgItem(m_hwnd, IDC_DISPLAY_ALL);
        ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
        if (!gui::IsChecked(all))
            gui::Click(all);
        EXPECT_TRUE(gui::IsChecked(all));
        gui::Click(::GetDlgItem(m_hwnd, IDC_SCAN));
        return gui::ReadRows(m_list);
    }

    static void WatchCopies(const std::vector<Row>& rows) { gui::WatchCopies(rows); }
    static int TimesFreed(const Row& row) { return gui::TimesFreed(row); }

    // The next dialog the shell puts up on the main dialog's thread; null
    // when none comes within the time.
    HWND WaitForQuestion(DWORD timeoutMs = 10000) const
    {
        const DWORD start = ::GetTickCount();
        do {
            FindDialogState state = {m_hwnd, nullptr};
            ::EnumThreadWindows(m_thread->ThreadId(), &FindOtherDialog, reinterpret_cast<LPARAM>(&state));
            if (state.found)
                return state.found;
            ::Sleep(20);
        } while (::GetTickCount() - start < timeoutMs);
        return nullptr;
    }

    // Waits for the shell's next question, notes it and what the list shows
    // meanwhile, and answers with the dialog's own button.
    Question Answer(int button)
    {
        Question q;
        q.hwnd = WaitForQuestion();
        if (!q.hwnd)
            return q;
        q.owner = ::GetWindow(q.hwnd, GW_OWNER);
        q.caption = gui::WindowText(q.hwnd);
        q.text = QuestionText(q.hwnd);
        q.cutRows = CutRows(m_list);
        HWND answer = ::GetDlgItem(q.hwnd, button);
        EXPECT_TRUE(answer && ::IsWindowVisible(answer)) << "no button " << button << " on " << q.caption;
        ::SendMessageA(answer, BM_CLICK, 0, 0);
        for (int i = 0; i < 500 && ::IsWindow(q.hwnd); ++i)
            ::Sleep(10);
        EXPECT_FALSE(::IsWindow(q.hwnd)) << "the question stayed after the answer";
        return q;
    }

    // Waits until the walk has made `calls` shell calls and the key handler
    // has returned; then no further question may be up.
    void WaitForWalkEnd(int calls)
    {
        for (int i = 0; i < 1000 && g_callsEnded < calls; ++i)
            ::Sleep(20);
        EXPECT_EQ(g_callsEnded.load(), calls);
        gui::Flush(m_hwnd);
        EXPECT_EQ(WaitForQuestion(300), nullptr) << "the shell asked more than expected";
        EXPECT_EQ(g_callsEnded.load(), calls);
        EXPECT_TRUE(::IsWindowEnabled(m_hwnd));
    }

    // The Properties dialog opened from the main dialog, or null.
    HWND WaitForProperties(DWORD timeoutMs = 10000) const
    {
        return gui::FindProcessWindow("Properties", m_hwnd, timeoutMs);
    }

    void CloseProperties(HWND props)
    {
        ::SendMessageA(::GetDlgItem(props, IDCANCEL), BM_CLICK, 0, 0);
        for (int i = 0; i < 500 && ::IsWindow(props); ++i)
            ::Sleep(10);
        EXPECT_FALSE(::IsWindow(props));
        gui::Flush(m_hwnd);
    }

    POINT RowCentre(int row) const
    {
        RECT r = {};
        r.left = LVIR_LABEL;
        ::SendMessageA(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    gui::TempTree m_tree;
    CRecycleBin m_bin;
    std::string m_target;
    std::string m_menu;
    std::unique_ptr<gui::CImportHook> m_fileOperationHook;
    std::unique_ptr<gui::CImportHook> m_beepHook;
    std::unique_ptr<gui::ModalDialogThread> m_thread;
    HWND m_hwnd = nullptr;
    HWND m_list = nullptr;
};

TEST_F(ResultActions, DeleteAsksAboutExactlyTheSelectedRowsInOrderAndRemovesTheConfirmed)
{
    const std::vector<Row> before = Scan(m_menu);
    ASSERT_EQ(before.size(), 10u);
    WatchCopies(before);
    std::map<int, std::string> unixPaths, bytes;
    for (int i : {2, 3, 7}) {
        unixPaths[i] = CRecycleBin::UnixPath(before[i].item);
        bytes[i] = ReadBytes(before[i].item);
        ASSERT_FALSE(unixPaths[i].empty());
    }

    gui::SelectRows(m_list, {2, 3, 7});
    ASSERT_EQ(gui::SelectedRows(m_list), (std::vector<int>{2, 3, 7}));
    gui::PressKey(m_list, VK_DELETE);

    // Row 2 is asked about first; declining row 3 leaves it where it was
    // (index 2 now), so row 7 is asked about at index 6.
    const Question first = Answer(IDYES);
    const Question second = Answer(IDNO);
    const Question third = Answer(IDYES);
    WaitForWalkEnd(3);

    const Question* questions[] = {&first, &second, &third};
    const int asked[] = {2, 3, 7};
    const std::vector<int> dimmed[] = {{2}, {2}, {6}};
    for (int q = 0; q < 3; ++q) {
        SCOPED_TRACE("question " + std::to_string(q + 1) + ": " + questions[q]->text);
        ASSERT_NE(questions[q]->hwnd, nullptr);
        EXPECT_NE(questions[q]->text.find(before[asked[q]].item), std::string::npos)
            << "the shell asked about another file";
        EXPECT_EQ(questions[q]->owner, m_hwnd) << "the question belongs to the main dialog";
        EXPECT_EQ(questions[q]->cutRows, dimmed[q]) << "only the row asked about is dimmed";
    }

    const std::vector<ShellCall> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    for (int q = 0; q < 3; ++q) {
        SCOPED_TRACE(q);
        EXPECT_EQ(calls[q].names, std::vector<std::string>{before[asked[q]].item});
        EXPECT_EQ(calls[q].hwnd, m_hwnd);
        EXPECT_EQ(calls[q].func, static_cast<UINT>(FO_DELETE));
        EXPECT_EQ(calls[q].flags, FOF_ALLOWUNDO | FOF_SILENT);
        EXPECT_TRUE(calls[q].noDestination);
    }
    EXPECT_FALSE(calls[0].aborted);
    EXPECT_TRUE(calls[1].aborted) << "No sets the aborted flag";
    EXPECT_FALSE(calls[2].aborted);

    // Rows 2 and 7 are gone; every other row is as it was, undimmed.
    const std::vector<Row> after = gui::ReadRows(m_list);
    std::vector<Row> expected = before;
    expected.erase(expected.begin() + 7);
    expected.erase(expected.begin() + 2);
    ASSERT_EQ(after.size(), expected.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(after[i].item);
        EXPECT_EQ(after[i].item, expected[i].item);
        EXPECT_EQ(after[i].value, expected[i].value);
        EXPECT_EQ(after[i].image, expected[i].image);
        EXPECT_EQ(after[i].data, expected[i].data);
        EXPECT_EQ(after[i].state & LVIS_CUT, 0u);
    }

    // The declined file is in place; the confirmed ones are in the Recycle
    // Bin, whole, and come back from it as the shortcuts they were.
    EXPECT_TRUE(Exists(before[3].item));
    EXPECT_EQ(ReadBytes(before[3].item), bytes[3]);
    EXPECT_TRUE(m_bin.Find(unixPaths[3]).file.empty()) << "the declined file went to the bin";
    for (int i : {2, 7}) {
        SCOPED_TRACE(before[i].item);
        EXPECT_FALSE(Exists(before[i].item)) << "still in its folder";
        const CRecycleBin::Entry entry = m_bin.Find(unixPaths[i]);
        ASSERT_FALSE(entry.file.empty()) << "not in the Recycle Bin at " << m_bin.Folder();
        EXPECT_EQ(ReadBytes(entry.file), bytes[i]) << "not the whole file";
        ASSERT_TRUE(CRecycleBin::Restore(entry, before[i].item));
        EXPECT_EQ(TargetOf(before[i].item), m_target);
    }

    // Each deleted row's copy was freed once, by the list's deletion; the
    // others not yet, and all of them exactly once when the dialog goes.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(TimesFreed(before[i]), (i == 2 || i == 7) ? 1 : 0) << "row " << i;
    CloseMainDialog();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(TimesFreed(before[i]), 1) << "row " << i;
}

TEST_F(ResultActions, DeleteWithNothingSelectedBeepsAndChangesNothing)
{
    const std::vector<Row> before = Scan(m_menu);
    ASSERT_EQ(before.size(), 10u);
    gui::SelectRows(m_list, {});
    // A focused row alone is not a selection.
    LVITEMA focus = {};
    focus.state = focus.stateMask = LVIS_FOCUSED;
    ::SendMessageA(m_list, LVM_SETITEMSTATE, 4, reinterpret_cast<LPARAM>(&focus));

    gui::PressKey(m_list, VK_DELETE);
    gui::Flush(m_hwnd);

    EXPECT_EQ(g_beeps.load(), 1);
    EXPECT_EQ(g_lastBeep.load(), 0xFFFFFFFFu);
    EXPECT_EQ(WaitForQuestion(500), nullptr);
    EXPECT_TRUE(Calls().empty());
    const std::vector<Row> after = gui::ReadRows(m_list);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].item, before[i].item);
        EXPECT_EQ(after[i].data, before[i].data);
        EXPECT_EQ(after[i].state & LVIS_CUT, 0u);
        EXPECT_TRUE(Exists(before[i].item));
    }

    // Other keys do nothing at all, not even beep.
    gui::SelectRows(m_list, {1});
    gui::PressKey(m_list, VK_INSERT);
    gui::PressKey(m_list, VK_BACK);
    gui::Flush(m_hwnd);
    EXPECT_EQ(g_beeps.load(), 1);
    EXPECT_EQ(WaitForQuestion(300), nullptr);
    EXPECT_EQ(gui::ReadRows(m_list).size(), before.size());
}

// The shell fails without the user declining: here the file vanished after
// the scan. Wine asks about it anyway (as a folder, then offers to erase it
// for good), and SHFileOperationA then returns an error while the aborted
// flag stays clear. The row must stay: nothing was moved to the bin.
TEST_F(ResultActions, AShortcutTheShellFailsToDeleteKeepsItsRowUndimmed)
{
    const std::vector<Row> before = Scan(m_menu);
    ASSERT_EQ(before.size(), 10u);
    WatchCopies(before);
    const std::string gone = before[4].item;
    const std::string movedUnix = CRecycleBin::UnixPath(before[1].item);
    ASSERT_TRUE(::DeleteFileA(gone.c_str()));

    gui::SelectRows(m_list, {1, 4});
    gui::PressKey(m_list, VK_DELETE);
    const Question moved = Answer(IDYES);
    EXPECT_NE(moved.text.find(before[1].item), std::string::npos) << moved.text;
    // Yes to whatever the shell asks about the vanished file.
    int asked = 0;
    while (g_callsEnded < 2 && asked < 4) {
        const Question q = Answer(IDYES);
        if (!q.hwnd)
            break;
        ++asked;
        EXPECT_NE(q.text.find(gone), std::string::npos) << q.text;
        EXPECT_EQ(q.cutRows, std::vector<int>{3}) << "the row is dimmed while the shell works on it";
    }
    WaitForWalkEnd(2);

    const std::vector<ShellCall> calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].result, 0);
    EXPECT_NE(calls[1].result, 0) << "the shell reported no failure";
    EXPECT_FALSE(calls[1].aborted) << "this case is about a failure the user did not choose";

    const std::vector<Row> after = gui::ReadRows(m_list);
    ASSERT_EQ(after.size(), 9u);
    EXPECT_EQ(after[3].item, gone) << "the failed row is still listed, in its place";
    EXPECT_EQ(after[3].data, before[4].data);
    EXPECT_EQ(after[3].state & LVIS_CUT, 0u) << "and no longer dimmed";
    EXPECT_EQ(TimesFreed(before[4]), 0);
    EXPECT_EQ(TimesFreed(before[1]), 1);

    const CRecycleBin::Entry entry = m_bin.Find(movedUnix);
    ASSERT_FALSE(entry.file.empty());
    EXPECT_TRUE(CRecycleBin::Restore(entry, before[1].item));
}

// A row whose copy is gone is passed over; the rows after it are still
// found in the right places though the rows around it are deleted.
TEST_F(ResultActions, ARowWithoutItsCopyIsSkipped)
{
    const std::vector<Row> before = Scan(m_menu);
    ASSERT_EQ(before.size(), 10u);
    WatchCopies(before);
    std::map<int, std::string> unixPaths;
    for (int i : {4, 6})
        unixPaths[i] = CRecycleBin::UnixPath(before[i].item);

    // The test takes row 5's copy over: the row no longer owns it.
    m_thread->RunOnUiThread([this] {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = 5;
        item.lParam = 0;
        ::SendMessageA(m_list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    });
    delete[] reinterpret_cast<char*>(before[5].data);

    gui::SelectRows(m_list, {4, 5, 6});
    gui::PressKey(m_list, VK_DELETE);
    const Question first = Answer(IDYES);
    const Question second = Answer(IDYES);
    WaitForWalkEnd(2);

    EXPECT_NE(first.text.find(before[4].item), std::string::npos) << first.text;
    EXPECT_NE(second.text.find(before[6].item), std::string::npos) << second.text;
    EXPECT_EQ(second.cutRows, std::vector<int>{5}) << "row 6 is at index 5 once row 4 is gone";

    const std::vector<Row> after = gui::ReadRows(m_list);
    ASSERT_EQ(after.size(), 8u);
    EXPECT_EQ(after[4].item, before[5].item);
    EXPECT_EQ(after[4].data, 0);
    EXPECT_EQ(after[4].state & LVIS_CUT, 0u);
    EXPECT_EQ(after[5].item, before[7].item);
    EXPECT_TRUE(Exists(before[5].item));
    EXPECT_EQ(TimesFreed(before[4]), 1);
    EXPECT_EQ(TimesFreed(before[6]), 1);
    EXPECT_EQ(TimesFreed(before[5]), 1) << "freed once, by the test";
    for (int i : {4, 6}) {
        const CRecycleBin::Entry entry = m_bin.Find(unixPaths[i]);
        ASSERT_FALSE(entry.file.empty()) << before[i].item;
        EXPECT_TRUE(CRecycleBin::Restore(entry, before[i].item));
    }
}

// A folder named like a shortcut is read like one and listed; it is never
// handed to the shell: it beeps and keeps its row undimmed, and the walk goes
// on. A name the code page cannot spell is listed by its short name, which
// reaches that file and no other, never with '?' in it (which the shell
// would take as a wildcard: "??.lnk" matches "ab.lnk" too).
TEST_F(ResultActions, AFolderOrANameWithAWildcardIsNeverHandedToTheShell)
{
    m_tree.Make("Menu\\Tools.lnk");
    ASSERT_TRUE(gui::SaveShortcut(m_menu + "\\ab.lnk", m_target));
    wchar_t wideMenu[MAX_PATH] = {};
    ASSERT_GT(::MultiByteToWideChar(CP_ACP, 0, m_menu.c_str(), -1, wideMenu, MAX_PATH), 0);
    const std::wstring japanese = std::wstring(wideMenu) + L"\\\x65E5\x672C.lnk";
    const HANDLE file = ::CreateFileW(japanese.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);

    const std::vector<Row> before = Scan(m_menu);
    int tools = -1, unspellable = -1, first = -1;
    for (int i = 0; i < static_cast<int>(before.size()); ++i) {
        EXPECT_EQ(before[i].item.find('?'), std::string::npos) << before[i].item;
        wchar_t wide[MAX_PATH] = {}, longName[MAX_PATH] = {};
        ::MultiByteToWideChar(CP_ACP, 0, before[i].item.c_str(), -1, wide, MAX_PATH);
        if (before[i].item == m_menu + "\\Tools.lnk")
            tools = i;
        else if (::GetLongPathNameW(wide, longName, MAX_PATH) && japanese == longName)
            unspellable = i;
        else if (before[i].item == m_menu + "\\Shortcut 0.lnk")
            first = i;
    }
    ASSERT_TRUE(tools >= 0 && unspellable >= 0 && first >= 0) << "rows: " << before.size();
    const std::string firstUnix = CRecycleBin::UnixPath(before[first].item);

    gui::SelectRows(m_list, {first, tools});
    gui::PressKey(m_list, VK_DELETE);
    const Question asked = Answer(IDYES);
    WaitForWalkEnd(1);

    const std::vector<ShellCall> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].names, std::vector<std::string>{before[first].item});
    EXPECT_EQ(g_beeps.load(), 1);
    const std::vector<Row> after = gui::ReadRows(m_list);
    ASSERT_EQ(after.size(), before.size() - 1);
    for (const Row& row : after)
        EXPECT_EQ(row.state & LVIS_CUT, 0u) << row.item;
    EXPECT_NE(::GetFileAttributesW(japanese.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Exists(m_menu + "\\ab.lnk"));
    EXPECT_TRUE(Exists(m_menu + "\\Tools.lnk"));

    const CRecycleBin::Entry entry = m_bin.Find(firstUnix);
    ASSERT_FALSE(entry.file.empty());
    EXPECT_TRUE(CRecycleBin::Restore(entry, before[first].item));
    EXPECT_NE(asked.text.find(before[first].item), std::string::npos) << asked.text;
}

// The longest path a row can hold: the list handed to the shell still ends
// with its second zero, so the shell takes exactly that one file.
TEST_F(ResultActions, AShortcutWithA259CharacterPathGoesToTheBinWhole)
{
    // Folders of 60 characters, then a name that ends the path at 259.
    std::string relative = "Long";
    std::string folder = m_tree.Make(relative);
    while (259 - folder.size() > 80) {
        relative += "\\" + std::string(60, 'd');
        folder = m_tree.Make(relative);
    }
    const std::string link = folder + "\\" + std::string(259 - folder.size() - 1 - 4, 'n') + ".lnk";
    ASSERT_EQ(link.size(), 259u);
    ASSERT_TRUE(gui::SaveShortcut(link, m_target));
    const std::string unixPath = CRecycleBin::UnixPath(link);
    const std::string bytes = ReadBytes(link);

    const std::vector<Row> before = Scan(m_tree.Make("Long"));
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(before[0].item, link);
    WatchCopies(before);

    gui::SelectRows(m_list, {0});
    gui::PressKey(m_list, VK_DELETE);
    const Question q = Answer(IDYES);
    WaitForWalkEnd(1);

    EXPECT_NE(q.text.find(link), std::string::npos) << q.text;
    const std::vector<ShellCall> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].names, std::vector<std::string>{link});
    EXPECT_EQ(calls[0].result, 0);
    EXPECT_TRUE(gui::ReadRows(m_list).empty());
    EXPECT_EQ(TimesFreed(before[0]), 1);
    EXPECT_FALSE(Exists(link));
    const CRecycleBin::Entry entry = m_bin.Find(unixPath);
    ASSERT_FALSE(entry.file.empty());
    EXPECT_EQ(ReadBytes(entry.file), bytes);
    EXPECT_TRUE(CRecycleBin::Restore(entry, link));
}

TEST_F(ResultActions, DoubleClickWithNothingSelectedDoesNothing)
{
    ASSERT_EQ(Scan(m_menu).size(), 10u);
    gui::SelectRows(m_list, {});
    const POINT p = RowCentre(3);
    ::PostMessageA(m_list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    gui::Flush(m_list);
    EXPECT_EQ(WaitForProperties(1000), nullptr);
    EXPECT_TRUE(::IsWindowEnabled(m_hwnd)) << "no modal dialog is up";
    EXPECT_TRUE(Calls().empty());
}

// The row shown is the first selected one, wherever the pointer is.
TEST_F(ResultActions, DoubleClickShowsPropertiesOfTheFirstSelectedRow)
{
    const std::vector<Row> rows = Scan(m_menu);
    ASSERT_EQ(rows.size(), 10u);
    gui::SelectRows(m_list, {4, 6});
    const POINT p = RowCentre(8);
    ::PostMessageA(m_list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));

    HWND props = WaitForProperties();
    ASSERT_NE(props, nullptr) << "no Properties dialog";
    EXPECT_EQ(gui::WindowText(::GetDlgItem(props, IDC_LINK_PATH)), rows[4].item);
    EXPECT_EQ(::GetWindow(props, GW_OWNER), m_hwnd);
    EXPECT_FALSE(::IsWindowEnabled(m_hwnd)) << "Properties is modal to the main dialog";
    const std::vector<Row> shown = gui::ReadRows(::GetDlgItem(props, IDC_LIST));
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[0].value, m_target);
    CloseProperties(props);
    EXPECT_TRUE(::IsWindowEnabled(m_hwnd));
    EXPECT_EQ(gui::ReadRows(m_list).size(), 10u) << "showing properties changes no row";
}

// Whether a real Enter reaches the list depends on the dialog manager: it
// may take the key for the dialog's default button (the main dialog's OnOK,
// which does nothing). When the key does reach the list, Properties opens
// for the first selected row.
TEST_F(ResultActions, EnterOnTheListShowsPropertiesOfTheFirstSelectedRow)
{
    const std::vector<Row> rows = Scan(m_menu);
    ASSERT_EQ(rows.size(), 10u);
    gui::SelectRows(m_list, {7, 2});  // selected in any order: row 2 is first

    m_thread->RunOnUiThread([this] { ::SetFocus(m_list); });
    gui::PressKey(m_list, VK_RETURN);
    if (HWND props = WaitForProperties(1000)) {
        EXPECT_EQ(gui::WindowText(::GetDlgItem(props, IDC_LINK_PATH)), rows[2].item);
        CloseProperties(props);
    } else {
        std::printf("a posted Enter was taken by the dialog manager\n");
        EXPECT_FALSE(m_thread->Finished());
    }

    // The key given to the list itself, as the list receives it when it
    // does get the key.
    ::SendNotifyMessageA(m_list, WM_KEYDOWN, VK_RETURN, 1);
    HWND props = WaitForProperties();
    ASSERT_NE(props, nullptr) << "no Properties dialog";
    EXPECT_EQ(gui::WindowText(::GetDlgItem(props, IDC_LINK_PATH)), rows[2].item);
    CloseProperties(props);

    // With nothing selected, Enter does nothing.
    gui::SelectRows(m_list, {});
    ::SendNotifyMessageA(m_list, WM_KEYDOWN, VK_RETURN, 1);
    gui::Flush(m_list);
    EXPECT_EQ(WaitForProperties(1000), nullptr);
    EXPECT_EQ(g_beeps.load(), 0);
}

}  // namespace
