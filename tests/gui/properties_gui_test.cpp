// The Properties dialog in a real window under Wine, on real shortcut files
// saved through the shell link service.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "GuiHarness.h"
#include "properties/LinkPropertiesDlg.h"
#include "resource.h"

namespace {

using gui::Row;

const std::vector<std::string> kLabels = {"Path",    "Description",   "Arguments",
                                          "Hotkey",  "Icon Location", "Working Directory"};

std::vector<std::string> Labels(const std::vector<Row>& rows)
{
    std::vector<std::string> labels;
    for (const Row& r : rows)
        labels.push_back(r.item);
    return labels;
}

std::vector<std::string> Values(const std::vector<Row>& rows)
{
    std::vector<std::string> values;
    for (const Row& r : rows)
        values.push_back(r.value);
    return values;
}

// A path of exactly n characters.
std::string PathOf(std::size_t n, const std::string& start)
{
    std::string path = start;
    while (path.size() < n)
        path += static_cast<char>('a' + path.size() % 26);
    path.resize(n);
    return path;
}

class PropertiesDialog : public ::testing::Test {
protected:
    void Open(const std::string& path)
    {
        Close();
        m_thread = std::make_unique<gui::ModalDialogThread>(
            [path] { return std::make_unique<CLinkPropertiesDlg>(path.c_str(), nullptr); });
        m_hwnd = m_thread->WaitForWindow();
        ASSERT_NE(m_hwnd, nullptr) << "the Properties dialog did not open for " << path;
        m_list = ::GetDlgItem(m_hwnd, IDC_LIST);
        m_edit = ::GetDlgItem(m_hwnd, IDC_LINK_PATH);
        m_close = ::GetDlgItem(m_hwnd, IDCANCEL);
    }

    // Shows path and returns its rows, closing the dialog with Close.
    std::vector<Row> RowsOf(const std::string& path)
    {
        Open(path);
        if (!m_hwnd)
            return {};
        std::vector<Row> rows = gui::ReadRows(m_list);
        Close();
        return rows;
    }

    void Close()
    {
        if (m_thread && !m_thread->Finished()) {
            // The button's own click; no flush after it, as the dialog's
            // thread pumps no more messages once the dialog has ended.
            ::SendMessageA(m_close, BM_CLICK, 0, 0);
            EXPECT_TRUE(m_thread->Join()) << "Close did not end the dialog";
            EXPECT_EQ(m_thread->Result(), IDCANCEL);
        }
        m_thread.reset();
        m_hwnd = m_list = m_edit = m_close = nullptr;
    }

    void TearDown() override { Close(); }

    CLinkPropertiesDlg* Dialog() const { return static_cast<CLinkPropertiesDlg*>(m_thread->Dialog()); }

    gui::TempTree m_tree;
    std::unique_ptr<gui::ModalDialogThread> m_thread;
    HWND m_hwnd = nullptr;
    HWND m_list = nullptr;
    HWND m_edit = nullptr;
    HWND m_close = nullptr;
};

TEST_F(PropertiesDialog, ListsTheSixFieldsInOrderUnderTheirLabels)
{
    const std::string target = m_tree.WriteFile("tool.exe", "MZ");
    gui::LinkFields fields;
    fields.target = target;
    fields.description = "Opens the tool";
    fields.arguments = "/quiet --level 3";
    fields.workingDirectory = m_tree.Make("work dir");
    fields.iconPath = "C:\\Apps\\tool.exe";
    fields.iconIndex = 12;
    fields.hotkey = 0x0641;
    const std::string link = m_tree.Path() + "\\Tool.lnk";
    ASSERT_TRUE(gui::SaveShortcut(link, fields));

    const std::vector<Row> rows = RowsOf(link);
    EXPECT_EQ(Labels(rows), kLabels);
    const std::vector<std::string> expected = {target, "Opens the tool", "/quiet --level 3",
                                               "Alt + Ctrl + A", "C:\\Apps\\tool.exe , 12",
                                               fields.workingDirectory};
    EXPECT_EQ(Values(rows), expected);
}

TEST_F(PropertiesDialog, HotkeyAndIconLocationAsTheyAreShown)
{
    const std::string target = m_tree.WriteFile("tool.exe", "MZ");
    struct Case {
        WORD hotkey;
        std::string iconPath;
        int iconIndex;
        std::string hotkeyText;
        std::string iconText;
        std::string iconTextOnWine;  // where Wine 8 reports something else
    };
    const Case cases[] = {
        {0x0641, "C:\\Apps\\tool.exe", 12, "Alt + Ctrl + A", "C:\\Apps\\tool.exe , 12", ""},
        {0x0170, "C:\\Apps\\tool.exe", -3, "Shift + p", "C:\\Apps\\tool.exe , -3", ""},
        {0x0F41, "C:\\Apps\\tool.exe", 0, "Alt + Ctrl + Ext + Shift + A", "C:\\Apps\\tool.exe , 0", ""},
        // No hotkey, no icon. Windows reports no icon path, so the value is
        // empty; Wine 8 reports the target's own icon, index 0.
        {0x0000, "", 0, "", "", target + " , 0"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hotkeyText + " | " + c.iconText);
        gui::LinkFields fields;
        fields.target = target;
        fields.hotkey = c.hotkey;
        fields.iconPath = c.iconPath;
        fields.iconIndex = c.iconIndex;
        const std::string link = m_tree.Path() + "\\Case" + std::to_string(++n) + ".lnk";
        ASSERT_TRUE(gui::SaveShortcut(link, fields));

        const std::vector<Row> rows = RowsOf(link);
        ASSERT_EQ(rows.size(), 6u);
        EXPECT_EQ(rows[3].value, c.hotkeyText);
        if (c.iconTextOnWine.empty() || rows[4].value != c.iconTextOnWine) {
            EXPECT_EQ(rows[4].value, c.iconText);
        }
        EXPECT_EQ(rows[1].value, "") << "no description was saved";
        EXPECT_EQ(rows[2].value, "") << "no arguments were saved";
    }
}

TEST_F(PropertiesDialog, ThePathFieldShowsTheShortcutAndCannotBeChanged)
{
    const std::string link = m_tree.Path() + "\\" + PathOf(120, "A shortcut with a long name ") + ".lnk";
    ASSERT_TRUE(gui::SaveShortcut(link, m_tree.WriteFile("t.exe", "MZ")));
    Open(link);
    ASSERT_NE(m_hwnd, nullptr);

    EXPECT_EQ(gui::WindowText(m_edit), link);
    EXPECT_TRUE(::GetWindowLongA(m_edit, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(::SendMessageA(m_edit, EM_GETLIMITTEXT, 0, 0), 260);

    // Typing into it, as the user would.
    ::PostMessageA(m_edit, WM_CHAR, 'x', 1);
    gui::PressKey(m_edit, VK_BACK);
    gui::PressKey(m_edit, VK_DELETE);
    gui::Flush(m_edit);
    EXPECT_EQ(gui::WindowText(m_edit), link);
}

TEST_F(PropertiesDialog, SomethingThatIsNotAShortcutGivesAnEmptyList)
{
    const std::string cases[] = {
        m_tree.WriteFile("damaged.lnk", std::string("L\0\0\0garbage", 11)),
        m_tree.WriteFile("text.lnk", "just some text"),
        m_tree.Make("Folder.lnk"),
        m_tree.Path() + "\\missing.lnk",
    };
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        Open(path);
        ASSERT_NE(m_hwnd, nullptr);
        EXPECT_EQ(::SendMessageA(m_list, LVM_GETITEMCOUNT, 0, 0), 0) << "no rows, no error row";
        HWND header = reinterpret_cast<HWND>(::SendMessageA(m_list, LVM_GETHEADER, 0, 0));
        EXPECT_EQ(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 2) << "both columns are still there";
        EXPECT_EQ(gui::WindowText(m_edit), path);
        Close();
    }
}

// 250 characters of icon path: with a short index the text fits the
// 260-character buffer whole; with the longest index the path gives way.
TEST_F(PropertiesDialog, ALongIconPathShowsWithinTheBuffer)
{
    const std::string iconPath = PathOf(250, "C:\\Icons\\");
    const std::string target = m_tree.WriteFile("t.exe", "MZ");
    struct Case {
        int index;
        std::string expected;
    };
    const Case cases[] = {
        {12, iconPath + " , 12"},
        {INT_MIN, iconPath.substr(0, 245) + " , -2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        gui::LinkFields fields;
        fields.target = target;
        fields.iconPath = iconPath;
        fields.iconIndex = c.index;
        const std::string link = m_tree.Path() + "\\icon" + std::to_string(c.index) + ".lnk";
        ASSERT_TRUE(gui::SaveShortcut(link, fields));

        const std::vector<Row> rows = RowsOf(link);
        ASSERT_EQ(rows.size(), 6u);
        EXPECT_EQ(rows[4].value, c.expected);
        EXPECT_LE(rows[4].value.size(), 259u);
        EXPECT_EQ(rows[0].value, target) << "the rows around it are intact";
        EXPECT_EQ(rows[5].value, "");
    }
}

TEST_F(PropertiesDialog, ColumnsAreSizedToTheirContents)
{
    gui::LinkFields fields;
    fields.target = m_tree.WriteFile("t.exe", "MZ");
    fields.description = PathOf(90, "A description much wider than the default column ");
    const std::string link = m_tree.Path() + "\\wide.lnk";
    ASSERT_TRUE(gui::SaveShortcut(link, fields));
    Open(link);
    ASSERT_NE(m_hwnd, nullptr);

    const auto width = [this](const std::string& text) {
        return static_cast<int>(::SendMessageA(m_list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
    };
    const int column0 = static_cast<int>(::SendMessageA(m_list, LVM_GETCOLUMNWIDTH, 0, 0));
    const int column1 = static_cast<int>(::SendMessageA(m_list, LVM_GETCOLUMNWIDTH, 1, 0));
    EXPECT_GE(column0, width("Working Directory"));
    EXPECT_GE(column1, width(fields.description));
}

// The template has no default button: Enter is taken by the dialog manager,
// which clicks the focused push button or sends IDOK.
TEST_F(PropertiesDialog, EnterClosesItLikeClose)
{
    const std::string link = m_tree.Path() + "\\enter.lnk";
    ASSERT_TRUE(gui::SaveShortcut(link, m_tree.WriteFile("t.exe", "MZ")));

    for (const int focus : {IDCANCEL, IDC_LIST, IDC_LINK_PATH}) {
        SCOPED_TRACE(focus);
        Open(link);
        ASSERT_NE(m_hwnd, nullptr);
        HWND control = ::GetDlgItem(m_hwnd, focus);
        m_thread->RunOnUiThread([control] { ::SetFocus(control); });
        gui::PressKey(control, VK_RETURN);
        ASSERT_TRUE(m_thread->Join(5000)) << "Enter left the dialog open";
        EXPECT_TRUE(m_thread->Result() == IDOK || m_thread->Result() == IDCANCEL)
            << "DoModal returned " << m_thread->Result();
        m_thread.reset();
    }
}

// A stand-in shortcut whose reads succeed or fail as the test says, to
// reach the failures the real service does not produce on demand.
class CScriptedLink : public IShellLinkA {
public:
    HRESULT fail[6] = {S_OK, S_OK, S_OK, S_OK, S_OK, S_OK};  // per row
    bool writeNothing = false;  // succeed without touching the buffers
    std::string text[6] = {"C:\\target.exe", "a description", "-args", "", "C:\\icons.dll", "C:\\work"};
    WORD hotkey = 0x0641;
    int iconIndex = 4;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetPath(LPSTR file, int cch, WIN32_FIND_DATAA*, DWORD) override
    {
        return Read(0, file, cch);
    }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR name, int cch) override { return Read(1, name, cch); }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR args, int cch) override { return Read(2, args, cch); }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD* word) override
    {
        if (!writeNothing)
            *word = hotkey;
        return fail[3];
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR path, int cch, int* index) override
    {
        if (!writeNothing)
            *index = iconIndex;
        return Read(4, path, cch);
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR dir, int cch) override { return Read(5, dir, cch); }

    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR) override { return E_NOTIMPL; }

private:
    // Copies as much as the buffer takes; a text as long as the buffer is
    // left without a terminator, as a careless service might.
    HRESULT Read(int row, char* buffer, int cch)
    {
        if (!writeNothing && cch > 0) {
            const std::size_t n = text[row].size() < static_cast<std::size_t>(cch)
                                      ? text[row].size() + 1
                                      : static_cast<std::size_t>(cch);
            std::memcpy(buffer, text[row].c_str(), n);
        }
        return fail[row];
    }
};

class ScriptedProperties : public PropertiesDialog {
protected:
    // The rows AddPropertyRows makes from link, in a dialog whose own open
    // failed (so its list starts empty).
    std::vector<Row> RowsFrom(CScriptedLink& link)
    {
        Open(m_tree.Path() + "\\none.lnk");
        if (!m_hwnd)
            return {};
        EXPECT_EQ(::SendMessageA(m_list, LVM_GETITEMCOUNT, 0, 0), 0);
        m_thread->RunOnUiThread([this, &link] { Dialog()->AddPropertyRows(&link); });
        std::vector<Row> rows = gui::ReadRows(m_list);
        Close();
        return rows;
    }
};

TEST_F(ScriptedProperties, AFailedReadShowsTheErrorTextInItsOwnRowOnly)
{
    const std::vector<std::string> good = {"C:\\target.exe", "a description", "-args",
                                           "Alt + Ctrl + A", "C:\\icons.dll , 4", "C:\\work"};
    for (int failing = 0; failing < 6; ++failing) {
        SCOPED_TRACE(kLabels[static_cast<std::size_t>(failing)]);
        CScriptedLink link;
        link.fail[failing] = E_FAIL;
        std::vector<std::string> expected = good;
        expected[static_cast<std::size_t>(failing)] = "--- error ---";
        const std::vector<Row> rows = RowsFrom(link);
        EXPECT_EQ(Labels(rows), kLabels);
        EXPECT_EQ(Values(rows), expected);
    }

    CScriptedLink allFail;
    for (HRESULT& hr : allFail.fail)
        hr = E_OUTOFMEMORY;
    EXPECT_EQ(Values(RowsFrom(allFail)), std::vector<std::string>(6, "--- error ---"));
}

TEST_F(ScriptedProperties, SuccessAndFalseAreNotErrors)
{
    CScriptedLink link;
    for (HRESULT& hr : link.fail)
        hr = S_FALSE;  // e.g. a shortcut to something with no file-system path
    const std::vector<Row> rows = RowsFrom(link);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].value, "C:\\target.exe");
    EXPECT_EQ(rows[3].value, "Alt + Ctrl + A");
}

TEST_F(ScriptedProperties, AnEmptyIconPathHidesTheIndex)
{
    CScriptedLink link;
    link.text[4] = "";
    link.iconIndex = 7;
    const std::vector<Row> rows = RowsFrom(link);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[4].value, "");
}

TEST_F(ScriptedProperties, AReadThatWritesNothingShowsTheEmptyText)
{
    CScriptedLink link;
    link.writeNothing = true;
    EXPECT_EQ(Values(RowsFrom(link)), std::vector<std::string>(6, ""));
}

TEST_F(ScriptedProperties, AReadThatFillsTheWholeBufferIsCutAt259)
{
    CScriptedLink link;
    const std::string full(400, 'w');
    for (std::string& t : link.text)
        t = full;
    const std::vector<Row> rows = RowsFrom(link);
    ASSERT_EQ(rows.size(), 6u);
    for (int row : {0, 1, 2, 5}) {
        SCOPED_TRACE(kLabels[static_cast<std::size_t>(row)]);
        EXPECT_EQ(rows[static_cast<std::size_t>(row)].value, std::string(259, 'w'));
    }
    // 259 characters of icon path and ", 4": the path gives way.
    EXPECT_EQ(rows[4].value, std::string(255, 'w') + " , 4");
}

}  // namespace
