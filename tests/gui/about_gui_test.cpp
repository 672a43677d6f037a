// The About box in a real window: its texts and focus, the heavy title type
// fitted to its frame, the still title and the pulsing one (Shift held at
// opening), the fonts it lets go of, and the way in from the main dialog's
// system menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GuiHarness.h"
#include "about/AboutDlg.h"
#include "about/TitlePulse.h"
#include "app/MainDlg.h"
#include "resource.h"

namespace {

using gui::ModalDialogThread;

std::unique_ptr<CDialog> MakeAbout()
{
    return std::make_unique<CAboutDlg>();
}

std::string LoadText(UINT id)
{
    char text[512] = "";
    ::LoadStringA(::GetModuleHandleA(nullptr), id, text, sizeof text);
    return text;
}

std::string Describe(const RECT& r)
{
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

bool SameRect(const RECT& a, const RECT& b)
{
    return ::EqualRect(&a, &b) != FALSE;
}

// A child's window rectangle in its dialog's client coordinates.
RECT ChildRect(HWND dialog, int id)
{
    RECT r;
    ::GetWindowRect(::GetDlgItem(dialog, id), &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The title's place in the template (38, 23, 143, 25 dialog units), in pixels.
RECT TemplateTitleRect(HWND dialog)
{
    RECT r = {38, 23, 38 + 143, 23 + 25};
    ::MapDialogRect(dialog, &r);
    return r;
}

HFONT FontOf(HWND control)
{
    return reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
}

// The font's own description; lfHeight stays -12345 when it could not be read.
LOGFONTA Describe(HFONT font)
{
    LOGFONTA lf = {};
    lf.lfHeight = -12345;
    ::GetObjectA(font, sizeof lf, &lf);
    return lf;
}

bool IsLiveObject(HGDIOBJ object)
{
    return ::GetObjectType(object) != 0;
}

// The child window with exactly this text, or null.
HWND FindChildByText(HWND dialog, const std::string& text)
{
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (gui::WindowText(child) == text)
            return child;
    }
    return nullptr;
}

bool IsShiftDown()
{
    return (::GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
}

// Shift held down through the system's keyboard input, as a user's finger
// would; released when the object goes.
class ShiftHeld {
public:
    ShiftHeld() { Send(0); }
    ~ShiftHeld() { Send(KEYEVENTF_KEYUP); }
    ShiftHeld(const ShiftHeld&) = delete;
    ShiftHeld& operator=(const ShiftHeld&) = delete;

private:
    static void Send(DWORD flags)
    {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = VK_SHIFT;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyA(VK_SHIFT, 0));
        input.ki.dwFlags = flags;
        ::SendInput(1, &input, sizeof input);
        // The key state changes once the input has gone through the system.
        for (int i = 0; i < 100 && IsShiftDown() != (flags == 0); ++i)
            ::Sleep(10);
    }
};

// What the title looks like at one moment, read on the dialog's own thread
// between two messages, so rectangle, font and pulse agree with each other.
struct TitleState {
    RECT frame;    // in the dialog's client coordinates
    RECT client;
    HFONT font;    // the font the control draws with
    HFONT owned;   // the font the dialog holds
    LOGFONTA lf;   // read there and then: the next tick deletes the font
    HWND previous; // the control before the title in z-order
    int counter;
    int step;
};

TitleState ReadTitle(ModalDialogThread& thread, HWND dialog)
{
    TitleState state = {};
    thread.RunOnUiThread([&] {
        HWND title = ::GetDlgItem(dialog, IDC_TITLE);
        state.frame = ChildRect(dialog, IDC_TITLE);
        ::GetClientRect(title, &state.client);
        state.font = FontOf(title);
        state.owned = static_cast<CAboutDlg*>(thread.Dialog())->m_hTitleFont;
        state.lf = Describe(state.font);
        state.previous = ::GetWindow(title, GW_HWNDPREV);
        state.counter = about::TitlePulse::Shared().Counter();
        state.step = about::TitlePulse::Shared().Step();
    });
    return state;
}

// How far each side of the frame should have moved outward since the box
// opened, worked out tick by tick from the pulse as the user sees it: one
// pixel per tick, turning round whenever the count reaches a multiple of 50.
int ExpectedOffset(int openedAt, int stepAtOpening, int counterNow)
{
    int offset = 0;
    int step = stepAtOpening;
    for (int tick = openedAt + 1; tick <= counterNow; ++tick) {
        if (tick % 50 == 0)
            step = -step;
        offset += step;
    }
    return offset;
}

// Checks one reading of a pulsing title against the template and the pulse
// state it opened with; every font seen before the current one must be gone.
void CheckPulsingTitle(const TitleState& s, const RECT& templ, int openedAt, int stepAtOpening,
                       std::vector<HFONT>& fontsSeen)
{
    SCOPED_TRACE("counter " + std::to_string(s.counter));
    const int offset = ExpectedOffset(openedAt, stepAtOpening, s.counter);
    RECT expected = templ;
    ::InflateRect(&expected, offset, offset);
    EXPECT_TRUE(SameRect(s.frame, expected))
        << "frame " << Describe(s.frame) << ", expected " << Describe(expected) << " (" << offset
        << " px per side)";

    EXPECT_EQ(s.font, s.owned) << "the control draws with the font the dialog holds";
    const LOGFONTA& lf = s.lf;
    const int length = static_cast<int>(std::string("Veltmor").size());
    EXPECT_EQ(lf.lfHeight, s.client.bottom - 1);
    EXPECT_EQ(lf.lfWidth, s.client.right / (length + 2));
    EXPECT_EQ(lf.lfWeight, 900);

    if (std::find(fontsSeen.begin(), fontsSeen.end(), s.font) == fontsSeen.end())
        fontsSeen.push_back(s.font);
    for (HFONT old : fontsSeen) {
        if (old != s.font) {
            EXPECT_FALSE(IsLiveObject(old)) << "a replaced font was not deleted";
        }
    }
}

// ---------------------------------------------------------------------------

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(IsShiftDown()) << "Shift is still down from an earlier test";
    }
};

TEST_F(AboutBox, ShowsCaptionNameVersionCopyrightAndHomePage)
{
    ModalDialogThread thread(MakeAbout);
    HWND dialog = thread.WaitForWindow();
    ASSERT_NE(dialog, nullptr);

    EXPECT_EQ(gui::WindowText(dialog), "About Veltmor");
    EXPECT_EQ(gui::WindowText(::GetDlgItem(dialog, IDC_TITLE)), "Veltmor");
    EXPECT_NE(FindChildByText(dialog, "Version 1.1.1"), nullptr);
    EXPECT_NE(FindChildByText(dialog, "OK"), nullptr);

    const std::string homePage = LoadText(IDS_HOME_PAGE);
    ASSERT_FALSE(homePage.empty()) << "string 105 holds the home-page address";
    HWND edit = ::GetDlgItem(dialog, IDC_EDIT);
    EXPECT_EQ(gui::WindowText(edit), homePage);

    // The address is read-only but can be selected for copying.
    const LONG_PTR style = ::GetWindowLongPtrA(edit, GWL_STYLE);
    EXPECT_TRUE(style & ES_READONLY);
    ::SendMessageA(edit, EM_SETSEL, 0, -1);
    DWORD start = 0xDEAD, end = 0xDEAD;
    ::SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, homePage.size());

    // Typing into it changes nothing.
    ::SendMessageA(edit, WM_CHAR, 'x', 1);
    EXPECT_EQ(gui::WindowText(edit), homePage);

    gui::Click(::GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(thread.Join());
    EXPECT_EQ(thread.Result(), IDOK);
}

TEST_F(AboutBox, OpensWithTheFocusOnOkAndClosesWithOkOrEsc)
{
    {
        ModalDialogThread thread(MakeAbout);
        HWND dialog = thread.WaitForWindow();
        ASSERT_NE(dialog, nullptr);
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        ASSERT_TRUE(::GetGUIThreadInfo(thread.ThreadId(), &info));
        EXPECT_EQ(info.hwndFocus, ::GetDlgItem(dialog, IDOK))
            << "focus on " << gui::ClassName(info.hwndFocus) << " \"" << gui::WindowText(info.hwndFocus)
            << "\"";
        gui::PressKey(info.hwndFocus, VK_RETURN);
        ASSERT_TRUE(thread.Join());
        EXPECT_EQ(thread.Result(), IDOK);
    }
    {
        ModalDialogThread thread(MakeAbout);
        HWND dialog = thread.WaitForWindow();
        ASSERT_NE(dialog, nullptr);
        gui::PressKey(::GetDlgItem(dialog, IDOK), VK_ESCAPE);
        ASSERT_TRUE(thread.Join());
        EXPECT_EQ(thread.Result(), IDCANCEL);
    }
}

TEST_F(AboutBox, TitleIsHeavyTimesFittedToItsFrame)
{
    ModalDialogThread thread(MakeAbout);
    HWND dialog = thread.WaitForWindow();
    ASSERT_NE(dialog, nullptr);
    HWND title = ::GetDlgItem(dialog, IDC_TITLE);

    const TitleState s = ReadTitle(thread, dialog);
    ASSERT_NE(s.font, nullptr);
    EXPECT_EQ(s.font, s.owned) << "the dialog holds the font the title uses";
    EXPECT_NE(s.font, FontOf(dialog)) << "the title has a font of its own";

    RECT client;
    ::GetClientRect(title, &client);
    ASSERT_GT(client.bottom, 10) << Describe(client);
    const LOGFONTA& lf = s.lf;
    EXPECT_EQ(lf.lfHeight, client.bottom - 1);
    EXPECT_EQ(lf.lfWidth, client.right / 9) << "\"Veltmor\" has 7 characters";
    EXPECT_EQ(lf.lfWeight, 900);
    EXPECT_STREQ(lf.lfFaceName, "Times");
    EXPECT_EQ(lf.lfItalic, 0);
    EXPECT_EQ(lf.lfCharSet, 0) << "the rest of the description is left at zero";

    gui::Click(::GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(thread.Join());
    EXPECT_FALSE(IsLiveObject(s.font)) << "the title font outlived the box";
}

TEST_F(AboutBox, WithoutShiftTheTitleStaysInItsPlace)
{
    const int counterBefore = about::TitlePulse::Shared().Counter();
    ModalDialogThread thread(MakeAbout);
    HWND dialog = thread.WaitForWindow();
    ASSERT_NE(dialog, nullptr);

    const TitleState first = ReadTitle(thread, dialog);
    EXPECT_TRUE(SameRect(first.frame, TemplateTitleRect(dialog)))
        << Describe(first.frame) << " vs template " << Describe(TemplateTitleRect(dialog));
    ::Sleep(400);
    const TitleState later = ReadTitle(thread, dialog);
    EXPECT_TRUE(SameRect(later.frame, first.frame)) << Describe(later.frame);
    EXPECT_EQ(later.font, first.font) << "no new font without a pulse";
    EXPECT_EQ(later.counter, counterBefore) << "the pulse does not tick";

    gui::Click(::GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(thread.Join());
    EXPECT_FALSE(IsLiveObject(first.font));
}

TEST_F(AboutBox, ShiftHeldAtOpeningMakesTheTitlePulseUntilTheBoxCloses)
{
    const about::TitlePulse& pulse = about::TitlePulse::Shared();
    const int openedAt = pulse.Counter();
    const int stepAtOpening = pulse.Step();

    std::unique_ptr<ModalDialogThread> thread;
    {
        ShiftHeld shift;
        ASSERT_TRUE(IsShiftDown()) << "the system did not take the Shift key";
        thread = std::make_unique<ModalDialogThread>(MakeAbout);
        ASSERT_NE(thread->WaitForWindow(), nullptr);
    }
    HWND dialog = thread->Dialog()->m_hWnd;
    const RECT templ = TemplateTitleRect(dialog);
    const TitleState start = ReadTitle(*thread, dialog);

    // Follow it through at least one turn of the pulse.
    std::vector<HFONT> fontsSeen;
    std::vector<TitleState> readings;
    const DWORD began = ::GetTickCount();
    TitleState s = start;
    while (s.counter < openedAt + 60 && ::GetTickCount() - began < 20000) {
        s = ReadTitle(*thread, dialog);
        readings.push_back(s);
        CheckPulsingTitle(s, templ, openedAt, stepAtOpening, fontsSeen);
        EXPECT_EQ(s.previous, start.previous) << "the title kept its place in the z-order";
        if (HasFailure())
            break;
        ::Sleep(15);
    }
    ASSERT_GE(s.counter, openedAt + 60) << "the pulse ticked too slowly";

    // The frame moved both ways: it was seen larger and smaller than another
    // reading, in the direction the pulse was going at the time.
    bool grew = false, shrank = false;
    for (std::size_t i = 1; i < readings.size(); ++i) {
        const LONG before = readings[i - 1].frame.right - readings[i - 1].frame.left;
        const LONG after = readings[i].frame.right - readings[i].frame.left;
        grew = grew || after > before;
        shrank = shrank || after < before;
    }
    EXPECT_TRUE(grew);
    EXPECT_TRUE(shrank);
    EXPECT_GT(fontsSeen.size(), 2u) << "the type is refitted as the frame moves";

    gui::Click(::GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(thread->Join());
    for (HFONT font : fontsSeen)
        EXPECT_FALSE(IsLiveObject(font)) << "a title font outlived the box";

    // Closed, the pulse stands still and keeps its place.
    const int stoppedAt = pulse.Counter();
    ::Sleep(200);
    EXPECT_EQ(pulse.Counter(), stoppedAt);
}

TEST_F(AboutBox, ASecondOpeningCarriesOnTheSavedPulse)
{
    // First opening: close it a few ticks before the end of a shrinking run.
    // The close happens on the dialog's thread between two ticks, so the
    // saved state is exactly what was read.
    int savedCounter = 0, savedStep = 0;
    {
        std::unique_ptr<ModalDialogThread> thread;
        {
            ShiftHeld shift;
            thread = std::make_unique<ModalDialogThread>(MakeAbout);
            ASSERT_NE(thread->WaitForWindow(), nullptr);
        }
        bool closed = false;
        const DWORD began = ::GetTickCount();
        while (!closed && ::GetTickCount() - began < 20000) {
            thread->RunOnUiThread([&] {
                const about::TitlePulse& pulse = about::TitlePulse::Shared();
                if (pulse.Step() == -1 && pulse.Counter() % 50 >= 40) {
                    savedCounter = pulse.Counter();
                    savedStep = pulse.Step();
                    thread->Dialog()->EndDialog(IDOK);
                    closed = true;
                }
            });
            ::Sleep(2);
        }
        ASSERT_TRUE(closed) << "never reached the end of a shrinking run";
        ASSERT_TRUE(thread->Join());
    }
    ASSERT_EQ(about::TitlePulse::Shared().Counter(), savedCounter);

    // Second opening: the frame starts shrinking from its template place
    // (not growing from +1 again), turns at the next multiple of 50 and grows.
    std::unique_ptr<ModalDialogThread> thread;
    {
        ShiftHeld shift;
        thread = std::make_unique<ModalDialogThread>(MakeAbout);
        ASSERT_NE(thread->WaitForWindow(), nullptr);
    }
    HWND dialog = thread->Dialog()->m_hWnd;
    const RECT templ = TemplateTitleRect(dialog);
    const int nextTurn = (savedCounter / 50 + 1) * 50;
    std::vector<HFONT> fontsSeen;
    bool sawShrunk = false;
    const DWORD began = ::GetTickCount();
    TitleState s = ReadTitle(*thread, dialog);
    while (s.counter < nextTurn + 20 && ::GetTickCount() - began < 20000) {
        CheckPulsingTitle(s, templ, savedCounter, savedStep, fontsSeen);
        if (HasFailure())
            break;
        if (s.counter > savedCounter && s.counter < nextTurn) {
            sawShrunk = true;
            EXPECT_LT(s.frame.bottom - s.frame.top, templ.bottom - templ.top) << "still shrinking";
        }
        ::Sleep(2);
        s = ReadTitle(*thread, dialog);
    }
    ASSERT_GE(s.counter, nextTurn + 20) << "the pulse ticked too slowly";
    EXPECT_TRUE(sawShrunk) << "no reading fell between the opening and the turn";

    gui::Click(::GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(thread->Join());
    for (HFONT font : fontsSeen)
        EXPECT_FALSE(IsLiveObject(font));
}

// ---------------------------------------------------------------------------

TEST(CreateFittedFont, FitsTheTypeToAnyWindowsTextAndClientArea)
{
    struct Case {
        int width;
        int height;
        std::string text;
        int characters;  // counted from the window, at most 259
    };
    const Case cases[] = {
        {300, 60, "Veltmor", 7},
        {300, 60, "", 0},
        {300, 60, "V", 1},
        {150, 200, "Two words", 9},
        {2000, 40, std::string(259, 'w'), 259},
        {2000, 40, std::string(300, 'w'), 259},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + ", " +
                     std::to_string(c.text.size()) + " characters");
        HWND window = ::CreateWindowExA(0, "Static", c.text.c_str(), WS_POPUP, 0, 0, c.width, c.height,
                                        nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        RECT client;
        ::GetClientRect(window, &client);

        HFONT font = CreateFittedFont(window);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(FontOf(window), font) << "set on the window";
        const LOGFONTA lf = Describe(font);
        EXPECT_EQ(lf.lfHeight, client.bottom - 1);
        EXPECT_EQ(lf.lfWidth, client.right / (c.characters + 2));
        EXPECT_EQ(lf.lfWeight, 900);
        EXPECT_STREQ(lf.lfFaceName, "Times");

        ::DestroyWindow(window);
        EXPECT_TRUE(IsLiveObject(font)) << "the caller owns the font, not the window";
        ::DeleteObject(font);
    }
}

TEST(CreateFittedFont, GivesNothingForSomethingThatIsNotAWindow)
{
    EXPECT_EQ(CreateFittedFont(nullptr), nullptr);
    HWND window = ::CreateWindowExA(0, "Static", "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    ::DestroyWindow(window);
    EXPECT_EQ(CreateFittedFont(window), nullptr) << "a destroyed window";
}

// ---------------------------------------------------------------------------
// The way in: the main dialog's system menu.

class AboutFromSystemMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        // As in the program, the main dialog is the application's main
        // window, so the About box is owned by it.
        m_main = std::make_unique<ModalDialogThread>(&gui::NewMainDialog);
        m_hwnd = m_main->WaitForWindow();
        ASSERT_NE(m_hwnd, nullptr);
    }
    void TearDown() override
    {
        if (m_hwnd)
            ::PostMessageA(m_hwnd, WM_COMMAND, IDCANCEL, 0);
        if (m_main) {
            EXPECT_TRUE(m_main->Join());
        }
        m_main.reset();
        AfxGetApp()->m_pMainWnd = nullptr;
    }

    HWND OpenAboutWith(WPARAM command)
    {
        ::PostMessageA(m_hwnd, WM_SYSCOMMAND, command, 0);
        return gui::FindProcessWindow("About Veltmor", nullptr, 10000);
    }

    std::unique_ptr<ModalDialogThread> m_main;
    HWND m_hwnd = nullptr;
};

TEST_F(AboutFromSystemMenu, MenuEndsWithASeparatorAndTheAboutEntry)
{
    int count = 0;
    UINT separatorState = 0, entryId = 0;
    char text[256] = "junk";
    m_main->RunOnUiThread([&] {
        HMENU menu = ::GetSystemMenu(m_hwnd, FALSE);
        count = ::GetMenuItemCount(menu);
        if (count >= 2) {
            separatorState = ::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION);
            entryId = ::GetMenuItemID(menu, count - 1);
            ::GetMenuStringA(menu, static_cast<UINT>(count - 1), text, sizeof text, MF_BYPOSITION);
        }
    });
    ASSERT_GE(count, 2);
    EXPECT_TRUE(separatorState & MF_SEPARATOR) << "state " << separatorState;
    EXPECT_EQ(entryId, 0x0010u);
    EXPECT_STREQ(text, "&About Veltmor...");
}

TEST_F(AboutFromSystemMenu, TheCommandOpensTheBoxOwnedByTheMainDialog)
{
    // Closed with OK, then with Esc; the command's low four bits are the
    // system's and do not matter.
    const WPARAM commands[] = {IDM_ABOUTBOX, IDM_ABOUTBOX | 0x3};
    for (WPARAM command : commands) {
        SCOPED_TRACE("command " + std::to_string(command));
        HWND about = OpenAboutWith(command);
        ASSERT_NE(about, nullptr) << "no About box";
        EXPECT_EQ(::GetWindow(about, GW_OWNER), m_hwnd);
        EXPECT_FALSE(::IsWindowEnabled(m_hwnd)) << "the main dialog waits while the box is open";
        EXPECT_EQ(gui::WindowText(::GetDlgItem(about, IDC_TITLE)), "Veltmor");

        if (command == IDM_ABOUTBOX)
            gui::Click(::GetDlgItem(about, IDOK));
        else
            gui::PressKey(::GetDlgItem(about, IDOK), VK_ESCAPE);
        for (int i = 0; i < 200 && ::IsWindow(about); ++i)
            ::Sleep(10);
        EXPECT_FALSE(::IsWindow(about)) << "the box did not close";
        gui::Flush(m_hwnd);
        EXPECT_FALSE(m_main->Finished()) << "the main dialog stays open";
        EXPECT_TRUE(::IsWindowEnabled(m_hwnd));
    }
}

TEST_F(AboutFromSystemMenu, OtherSystemCommandsStillReachTheSystem)
{
    // Close from the system menu goes on to the default processing, which
    // ends the main dialog as Esc would.
    ::PostMessageA(m_hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(m_main->Join());
    EXPECT_EQ(m_main->Result(), IDCANCEL);
    EXPECT_EQ(gui::FindProcessWindow("About Veltmor", nullptr, 300), nullptr);
    m_hwnd = nullptr;
}

}  // namespace
