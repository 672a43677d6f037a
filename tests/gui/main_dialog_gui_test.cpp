// The main dialog in a real window under Wine: start state, scans under each
// option, keyboard handling, resizing, data exchange and the program itself.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "CopyWatch.h"
#include "GuiHarness.h"
#include "app/MainDlg.h"
#include "resource.h"
#include "scan/Win32Text.h"

namespace {

using gui::Row;

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_thread = std::make_unique<gui::ModalDialogThread>(&gui::NewMainDialog);
        m_hwnd = m_thread->WaitForWindow();
        ASSERT_NE(m_hwnd, nullptr) << "the main dialog did not open";
        m_list = ::GetDlgItem(m_hwnd, IDC_LIST);
        m_edit = ::GetDlgItem(m_hwnd, IDC_EDIT);
        m_ignore = ::GetDlgItem(m_hwnd, IDC_IGNORE_REMOVABLE);
        m_all = ::GetDlgItem(m_hwnd, IDC_DISPLAY_ALL);
        m_scan = ::GetDlgItem(m_hwnd, IDC_SCAN);
    }

    void TearDown() override
    {
        if (m_thread && !m_thread->Finished()) {
            ::PostMessageA(m_hwnd, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(m_thread->Join()) << "the dialog did not close on IDCANCEL";
        }
        m_thread.reset();
        AfxGetApp()->m_pMainWnd = nullptr;
    }

    CMainDlg* Dialog() const { return static_cast<CMainDlg*>(m_thread->Dialog()); }

    void ScanFrom(const std::string& folder, bool ignoreRemovable, bool displayAll)
    {
        ::SendMessageA(m_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
        ::SendMessageA(m_ignore, BM_SETCHECK, ignoreRemovable ? BST_CHECKED : BST_UNCHECKED, 0);
        ::SendMessageA(m_all, BM_SETCHECK, displayAll ? BST_CHECKED : BST_UNCHECKED, 0);
        gui::Click(m_scan);
    }

    static std::vector<std::string> Items(const std::vector<Row>& rows)
    {
        std::vector<std::string> items;
        for (const Row& r : rows)
            items.push_back(r.item);
        return items;
    }

    RECT ChildRect(int id) const
    {
        RECT r;
        ::GetWindowRect(::GetDlgItem(m_hwnd, id), &r);
        ::MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    std::unique_ptr<gui::ModalDialogThread> m_thread;
    HWND m_hwnd = nullptr;
    HWND m_list = nullptr;
    HWND m_edit = nullptr;
    HWND m_ignore = nullptr;
    HWND m_all = nullptr;
    HWND m_scan = nullptr;
};

// A tree with one shortcut of each kind the options tell apart.
struct OptionTree {
    gui::TempTree tree;
    std::string present, missing, cdrom, network, folder, nested;

    OptionTree()
    {
        const std::string targets = tree.Make("targets");
        const std::string app = tree.WriteFile("targets\\app.exe", "MZ");
        tree.Make("Sub");
        present = tree.Path() + "\\present.lnk";
        missing = tree.Path() + "\\missing.lnk";
        cdrom = tree.Path() + "\\cdrom.lnk";
        network = tree.Path() + "\\network.lnk";
        folder = tree.Path() + "\\folder.lnk";
        nested = tree.Path() + "\\Sub\\nested.lnk";
        EXPECT_TRUE(gui::SaveShortcut(present, app));
        EXPECT_TRUE(gui::SaveShortcut(missing, "C:\\veltmor-nowhere\\gone.exe"));
        EXPECT_TRUE(gui::SaveShortcut(cdrom, "R:\\Game\\run.exe"));
        EXPECT_TRUE(gui::SaveShortcut(network, "S:\\share\\tool.exe"));
        EXPECT_TRUE(gui::SaveShortcut(folder, targets));
        EXPECT_TRUE(gui::SaveShortcut(nested, "C:\\veltmor-nowhere\\deeper.exe"));
    }
};

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

TEST_F(MainDialog, OpensWithTheStartMenuTheDefaultsAndAnEmptyList)
{
    EXPECT_EQ(gui::WindowText(m_hwnd), "Veltmor Menu");

    char startMenu[MAX_PATH] = "";
    ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, startMenu, CSIDL_STARTMENU, FALSE));
    EXPECT_EQ(gui::WindowText(m_edit), startMenu);
    EXPECT_TRUE(gui::IsChecked(m_ignore));
    EXPECT_FALSE(gui::IsChecked(m_all));
    EXPECT_EQ(::SendMessageA(m_list, LVM_GETITEMCOUNT, 0, 0), 0) << "no scan runs at start";

    RECT client;
    ::GetClientRect(m_list, &client);
    const int w = client.right - client.left;
    EXPECT_EQ(::SendMessageA(m_list, LVM_GETCOLUMNWIDTH, 0, 0), w * 3 / 4);
    EXPECT_EQ(::SendMessageA(m_list, LVM_GETCOLUMNWIDTH, 1, 0), w);

    char heading[64];
    LVCOLUMNA col = {};
    col.mask = LVCF_TEXT;
    col.pszText = heading;
    col.cchTextMax = sizeof heading;
    ASSERT_TRUE(::SendMessageA(m_list, LVM_GETCOLUMNA, 0, reinterpret_cast<LPARAM>(&col)));
    EXPECT_STREQ(heading, "Item");
    ASSERT_TRUE(::SendMessageA(m_list, LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&col)));
    EXPECT_STREQ(heading, "Value");

    // Both icons are the program's, and the system menu has the About entry.
    EXPECT_NE(::SendMessageA(m_hwnd, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageA(m_hwnd, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(::SendMessageA(m_hwnd, WM_QUERYDRAGICON, 0, 0),
              ::SendMessageA(m_hwnd, WM_GETICON, ICON_BIG, 0));
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(
        ::SendMessageA(m_list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 2);
}

TEST_F(MainDialog, ScansUnderEachCombinationOfTheOptions)
{
    OptionTree t;

    struct Case {
        bool ignoreRemovable, displayAll;
        std::vector<std::string> listed;
    } cases[] = {
        {true, false, {t.missing, t.nested}},
        {false, false, {t.missing, t.cdrom, t.network, t.nested}},
        {true, true, {t.present, t.missing, t.cdrom, t.network, t.folder, t.nested}},
        {false, true, {t.present, t.missing, t.cdrom, t.network, t.folder, t.nested}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ignore removable " << c.ignoreRemovable
                                        << ", display all " << c.displayAll);
        ScanFrom(t.tree.Path(), c.ignoreRemovable, c.displayAll);
        const std::vector<Row> rows = gui::ReadRows(m_list);
        EXPECT_EQ(Sorted(Items(rows)), Sorted(c.listed));
        for (const Row& r : rows) {
            const bool present = r.item == t.present || r.item == t.folder;
            EXPECT_EQ(r.image, present ? 1 : 0) << r.item;
            EXPECT_NE(r.data, 0) << r.item << " has no path copy";
            EXPECT_STREQ(reinterpret_cast<const char*>(r.data), r.item.c_str());
        }
        // The sub-folder's shortcut comes after every shortcut of the folder.
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back().item, t.nested);

        // Every control is enabled again after the walk.
        for (HWND child = ::GetWindow(m_hwnd, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT))
            EXPECT_TRUE(::IsWindowEnabled(child)) << gui::ClassName(child);
        EXPECT_EQ(AfxGetApp()->WaitCursorCount(), 0);
    }

    // Targets are what the shell link says, present or not.
    ScanFrom(t.tree.Path(), false, true);
    for (const Row& r : gui::ReadRows(m_list)) {
        if (r.item == t.cdrom) {
            EXPECT_EQ(r.value, "R:\\Game\\run.exe");
        } else if (r.item == t.missing) {
            EXPECT_EQ(r.value, "C:\\veltmor-nowhere\\gone.exe");
        }
    }
}

// Shortcuts saved through IShellLinkW to targets the code page cannot spell
// (Wine's shell reads them back with '?'; the dialog reads their ID list),
// and to a name no file can have: each broken one is listed by default,
// each working one only with Display All Items.
TEST_F(MainDialog, ListsEachBrokenTargetWhateverItsScript)
{
    gui::TempTree tree;
    const std::wstring root = scan::Widen(tree.Path(), CP_ACP) + L"\\";
    const struct {
        const char* name;
        const wchar_t* target;
        bool exists;
    } cases[] = {
        {"cyrillic-gone", L"Программы\\старый.exe", false}, {"cyrillic-ok", L"Программы\\app.exe", true},
        {"japanese-gone", L"日本\\消えた.exe", false},        {"japanese-ok", L"日本\\app.exe", true},
        {"emoji-gone", L"\U0001F600gone\\x.exe", false},     {"emoji-ok", L"\U0001F600dir\\app.exe", true},
        {"control", L"a\x01" L"b\\gone.exe", false},
    };
    std::vector<std::string> broken, all;
    for (const auto& c : cases) {
        const std::wstring target = root + c.target;
        if (c.exists) {
            ::CreateDirectoryW(target.substr(0, target.rfind(L'\\')).c_str(), nullptr);
            const HANDLE file = ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE) << c.name;
            ::CloseHandle(file);
        }
        IShellLinkW* link = nullptr;
        IPersistFile* file = nullptr;
        ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                                 reinterpret_cast<void**>(&link))));
        const std::string path = tree.Path() + "\\" + c.name + ".lnk";
        const bool saved = SUCCEEDED(link->SetPath(target.c_str())) &&
                           SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                           SUCCEEDED(file->Save(scan::Widen(path, CP_ACP).c_str(), TRUE));
        if (file)
            file->Release();
        link->Release();
        ASSERT_TRUE(saved) << c.name;
        all.push_back(path);
        if (!c.exists)
            broken.push_back(path);
    }
    for (const bool displayAll : {false, true}) {
        ScanFrom(tree.Path(), true, displayAll);
        const std::vector<Row> rows = gui::ReadRows(m_list);
        EXPECT_EQ(Sorted(Items(rows)), Sorted(displayAll ? all : broken));
        for (const Row& r : rows)
            EXPECT_EQ(r.image == 0, std::find(broken.begin(), broken.end(), r.item) != broken.end()) << r.item;
    }
}

TEST_F(MainDialog, APathThatIsNotAFolderGivesAnEmptyListAndNoMessage)
{
    OptionTree t;
    ScanFrom(t.tree.Path(), true, true);
    ASSERT_GT(::SendMessageA(m_list, LVM_GETITEMCOUNT, 0, 0), 0);

    ScanFrom(t.tree.Path() + "\\no such folder", true, true);
    EXPECT_EQ(::SendMessageA(m_list, LVM_GETITEMCOUNT, 0, 0), 0);
    const GUITHREADINFO info = gui::ThreadWindows(m_thread->ThreadId());
    EXPECT_EQ(info.hwndActive, m_hwnd) << "a message box would be the active window";
}

TEST_F(MainDialog, AFailedExchangeReturnsFalseAndFocusesTheLastControl)
{
    gui::TempTree t;
    const std::string missing = t.Path() + "\\missing";
    ::SendMessageA(m_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(missing.c_str()));
    ::SetFocus(m_edit);
    BOOL result = TRUE;
    m_thread->RunOnUiThread([&] { result = Dialog()->UpdateData(TRUE); });
    EXPECT_FALSE(result);
    EXPECT_EQ(gui::ThreadWindows(m_thread->ThreadId()).hwndFocus, m_all);
    // The exchanges before the check have happened: the member holds the path.
    EXPECT_EQ(std::string(Dialog()->m_strScanFrom), missing);

    // A real folder passes, and so does the empty path.
    ::SendMessageA(m_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.Path().c_str()));
    m_thread->RunOnUiThread([&] { result = Dialog()->UpdateData(TRUE); });
    EXPECT_TRUE(result);
    ::SendMessageA(m_edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    m_thread->RunOnUiThread([&] { result = Dialog()->UpdateData(TRUE); });
    EXPECT_TRUE(result);
}

TEST_F(MainDialog, EnterNeitherClosesNorScansEscCloses)
{
    OptionTree t;
    ScanFrom(t.tree.Path(), true, true);
    const std::vector<Row> before = gui::ReadRows(m_list);
    ASSERT_EQ(before.size(), 6u);

    // A rescan would now show one row fewer.
    ASSERT_TRUE(::DeleteFileA(t.present.c_str()));
    for (HWND control : {m_edit, m_ignore, m_all, m_list}) {
        SCOPED_TRACE(gui::ClassName(control));
        ::SetFocus(control);
        gui::PressKey(control, VK_RETURN);
        EXPECT_FALSE(m_thread->Finished());
        EXPECT_EQ(Items(gui::ReadRows(m_list)), Items(before));
    }

    gui::PressKey(m_edit, VK_ESCAPE);
    ASSERT_TRUE(m_thread->Join());
    EXPECT_EQ(m_thread->Result(), IDCANCEL);
}

TEST_F(MainDialog, ResizingMovesOnlyTheListAndStopsAtTheOpeningSize)
{
    RECT opened;
    ::GetWindowRect(m_hwnd, &opened);
    const int w = opened.right - opened.left, h = opened.bottom - opened.top;

    const int ids[] = {IDC_SCAN, IDC_IGNORE_REMOVABLE, IDC_EDIT, IDC_BROWSE, IDC_DISPLAY_ALL};
    std::vector<RECT> others;
    for (int id : ids)
        others.push_back(ChildRect(id));
    const RECT list = ChildRect(IDC_LIST);

    ::SetWindowPos(m_hwnd, nullptr, 0, 0, w + 120, h + 80, SWP_NOMOVE | SWP_NOZORDER);
    gui::Flush(m_hwnd);
    const RECT grown = ChildRect(IDC_LIST);
    EXPECT_EQ(grown.left, list.left);
    EXPECT_EQ(grown.top, list.top);
    EXPECT_EQ(grown.right - grown.left, list.right - list.left + 120);
    EXPECT_EQ(grown.bottom - grown.top, list.bottom - list.top + 80);
    for (std::size_t i = 0; i < others.size(); ++i) {
        const RECT now = ChildRect(ids[i]);
        EXPECT_TRUE(::EqualRect(&now, &others[i])) << "control " << ids[i] << " moved";
    }

    // Smaller than it opened: the minimum tracking size is the opening size.
    MINMAXINFO mmi = {};
    ::SendMessageA(m_hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    EXPECT_EQ(mmi.ptMinTrackSize.x, w);
    EXPECT_EQ(mmi.ptMinTrackSize.y, h);
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, w - 100, h - 60, SWP_NOMOVE | SWP_NOZORDER);
    gui::Flush(m_hwnd);
    RECT shrunk;
    ::GetWindowRect(m_hwnd, &shrunk);
    EXPECT_GE(shrunk.right - shrunk.left, w);
    EXPECT_GE(shrunk.bottom - shrunk.top, h);
    const RECT back = ChildRect(IDC_LIST);
    EXPECT_EQ(back.right - back.left, (shrunk.right - shrunk.left) - w + (list.right - list.left));
}

TEST_F(MainDialog, WritingTheMembersBackUndoesAChangedCheckBox)
{
    gui::Click(m_ignore);  // the user unticks it; no Scan reads it
    ASSERT_FALSE(gui::IsChecked(m_ignore));
    gui::Click(m_all);
    ASSERT_TRUE(gui::IsChecked(m_all));

    m_thread->RunOnUiThread([this] { Dialog()->UpdateData(FALSE); });
    EXPECT_TRUE(gui::IsChecked(m_ignore));
    EXPECT_FALSE(gui::IsChecked(m_all));

    // After a Scan has read them, the members hold the new values.
    gui::Click(m_ignore);
    gui::Click(m_scan);
    gui::Click(m_ignore);
    m_thread->RunOnUiThread([this] { Dialog()->UpdateData(FALSE); });
    EXPECT_FALSE(gui::IsChecked(m_ignore));
}

TEST_F(MainDialog, BrowsingFillsTheFieldResetsTheOptionsAndKeepsTheRows)
{
    OptionTree t;
    ScanFrom(t.tree.Path(), true, true);
    const std::vector<std::string> rows = Items(gui::ReadRows(m_list));
    gui::Click(m_ignore);
    ASSERT_FALSE(gui::IsChecked(m_ignore));

    // Cancelled: nothing changes.
    HWND browse = ::GetDlgItem(m_hwnd, IDC_BROWSE);
    ::PostMessageA(browse, BM_CLICK, 0, 0);
    HWND browser = gui::WaitForOtherActive(m_thread->ThreadId(), m_hwnd);
    ASSERT_NE(browser, nullptr) << "the folder browser did not open";
    ::PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 250 && ::IsWindow(browser); ++i)
        ::Sleep(20);
    gui::Flush(m_hwnd);
    EXPECT_EQ(gui::WindowText(m_edit), t.tree.Path());
    EXPECT_FALSE(gui::IsChecked(m_ignore));

    // Accepted at its first folder (the desktop): the field shows it, the
    // options return to what the last Scan read, the rows stay.
    ::PostMessageA(browse, BM_CLICK, 0, 0);
    browser = gui::WaitForOtherActive(m_thread->ThreadId(), m_hwnd);
    ASSERT_NE(browser, nullptr);
    ::PostMessageA(browser, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 250 && ::IsWindow(browser); ++i)
        ::Sleep(20);
    gui::Flush(m_hwnd);

    char desktop[MAX_PATH] = "";
    ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
    EXPECT_EQ(gui::WindowText(m_edit), desktop);
    EXPECT_TRUE(gui::IsChecked(m_ignore));
    EXPECT_EQ(Items(gui::ReadRows(m_list)), rows);
}

TEST_F(MainDialog, EveryRowCopyIsFreedOnceOnRescanAndWhenTheDialogCloses)
{
    OptionTree t;
    ScanFrom(t.tree.Path(), true, true);
    const std::vector<Row> first = gui::ReadRows(m_list);
    ASSERT_EQ(first.size(), 6u);
    gui::WatchCopies(first);

    ScanFrom(t.tree.Path(), true, false);  // deletes all rows first
    for (const Row& r : first)
        EXPECT_EQ(gui::TimesFreed(r), 1) << "a copy of the first scan: " << r.item;

    const std::vector<Row> second = gui::ReadRows(m_list);
    ASSERT_EQ(second.size(), 2u);
    gui::WatchCopies(second);
    ::PostMessageA(m_hwnd, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(m_thread->Join());
    for (const Row& r : second)
        EXPECT_EQ(gui::TimesFreed(r), 1) << "a copy of the rows left at closing: " << r.item;
    gui::ForgetCopies();
}

}  // namespace
