#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "input/hotkey_poller.h"
#include "settings/settings.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/main_window_proc.h"
#include "ui/resource_ids.h"

namespace {

using C = StopwatchCommand;

TEST(ButtonLayout, PlacesFiveButtonsAlongTheBottom) {
    RECT r[commandButtonCount];
    commandButtonPlacement(200, 72, r);
    const int lefts[] = {0, 41, 81, 121, 161};
    const int rights[] = {40, 81, 121, 161, 202};
    for (int i = 0; i < commandButtonCount; ++i) {
        EXPECT_EQ(r[i].left, lefts[i]) << i;
        EXPECT_EQ(r[i].right, rights[i]) << i;
        EXPECT_EQ(r[i].top, 44) << i;
        EXPECT_EQ(r[i].bottom, 72) << i;
    }
    commandButtonPlacement(4, 0, r);  // w = 0; a minimised window's 0 x 0
    const int tinyLefts[] = {0, 1, 1, 1, 1};
    for (int i = 0; i < commandButtonCount; ++i) {
        EXPECT_EQ(r[i].left, tinyLefts[i]) << i;
        EXPECT_EQ(r[i].right - r[i].left, i == 4 ? 1 : 0) << i;
        EXPECT_EQ(r[i].top, -28) << i;
    }
}

TEST(CommandTable, MenuAndButtonIdsShareTheirCommand) {
    struct Row {
        int menu, button;
        C command;
        bool handBack;
    };
    const Row rows[] = {{40101, 40301, C::Start, true},
                        {40102, 40302, C::Stop, false},
                        {40103, 40303, C::Reset, false},
                        {40104, 40304, C::Lap, true},
                        {40105, 40305, C::Next, true}};
    for (const Row& r : rows) {
        for (int id : {r.menu, r.button}) {
            const CommandAction a = commandForId(id);
            EXPECT_EQ(a.kind, CommandAction::Apply) << id;
            EXPECT_EQ(a.command, r.command) << id;
            EXPECT_EQ(a.handBackFocus, r.handBack) << id;
        }
    }
    EXPECT_EQ(commandForId(40106).kind, CommandAction::Options);
    EXPECT_EQ(commandForId(40107).kind, CommandAction::ShowLapTimes);
    EXPECT_EQ(commandForId(40108).kind, CommandAction::Exit);
    for (int id : {0, 1, 2, 40100, 40109, 40306, 40401}) EXPECT_EQ(commandForId(id).kind, CommandAction::Ignore) << id;
}

// The whole text, asked for with WM_GETTEXT.
std::string lapWindowText() {
    const HWND box = GetDlgItem(lapTimeWindow.load(), IDC_LAPTIME_TEXT);
    std::string text(static_cast<std::size_t>(SendMessageA(box, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(SendMessageA(box, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

TEST(MainWindow, CommandsFromMenuAndButtonsDriveTheStopwatch) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    Stopwatch& sw = processStopwatch();
    sendCommand(w, ID_MENU_LAPTIME);
    sendCommand(w, ID_MENU_START);
    EXPECT_EQ(sw.state.running.load(), 1);
    sendCommand(w, IDC_BUTTON_LAP);
    sendCommand(w, ID_MENU_NEXT);
    EXPECT_EQ(sw.state.splitView, 1);
    EXPECT_NE(lapWindowText().find("Total Time"), std::string::npos);  // the Lap refreshed it
    sendCommand(w, IDC_BUTTON_STOP);
    EXPECT_EQ(sw.state.running.load(), 0);
    EXPECT_EQ(lapWindowText(), buildLapReport(sw, currentTextSettings()));
    EXPECT_NE(lapWindowText().find("\r\n\r\n\r\nTotal Time"), std::string::npos);
    sendCommand(w, ID_MENU_RESET);
    EXPECT_TRUE(sw.laps.empty());
    // Reset leaves the old report until the window is next activated.
    EXPECT_NE(lapWindowText(), " ");
    sendCommand(w, 40999);  // unknown ids are ignored
    EXPECT_TRUE(IsWindow(w));
}

TEST(MainWindow, LapTimeWindowShowsHidesAndRebuildsOnActivation) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    const HWND lap = lapTimeWindow.load();
    ASSERT_NE(lap, nullptr);
    EXPECT_FALSE(IsWindowVisible(lap));
    sendCommand(session.window(), ID_MENU_START);
    sendCommand(session.window(), ID_MENU_LAP);
    sendCommand(session.window(), ID_MENU_RESET);  // no refresh: the box still shows the lap
    EXPECT_NE(lapWindowText(), " ");
    sendCommand(session.window(), ID_MENU_LAPTIME);
    EXPECT_TRUE(IsWindowVisible(lap));
    SendMessageA(lap, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(lapWindowText(), " ");
    SendMessageA(lap, WM_COMMAND, MAKEWPARAM(IDC_LAPTIME_TEXT, EN_CHANGE), 0);
    EXPECT_TRUE(IsWindowVisible(lap));  // other commands change nothing
    SendMessageA(lap, WM_COMMAND, MAKEWPARAM(IDC_LAPTIME_OK, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowVisible(lap));
    sendCommand(session.window(), ID_MENU_LAPTIME);
    SendMessageA(lap, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(lap));
    EXPECT_TRUE(IsWindow(lap));  // hidden, not destroyed
}

void expectButtonsAt(HWND w, int clientRight, int clientBottom) {
    RECT expected[commandButtonCount];
    commandButtonPlacement(clientRight, clientBottom, expected);
    for (int i = 0; i < commandButtonCount; ++i) {
        SCOPED_TRACE(i);
        RECT actual{};
        GetWindowRect(commandButtons[i]->window, &actual);
        MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected[i].left);
        EXPECT_EQ(actual.top, clientBottom - 28);
        EXPECT_EQ(actual.right - actual.left, expected[i].right - expected[i].left);
        EXPECT_EQ(commandButtons[i]->rect.left, expected[i].left);
        EXPECT_EQ(commandButtons[i]->rect.right, expected[i].right);
    }
}

TEST(MainWindow, TheLapReportIsKeptWholeWhileHiddenThroughEveryKindOfChange) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    const auto expectWhole = [&](const char* after) {
        const std::string shown = lapWindowText(), report = buildLapReport(processStopwatch(), currentTextSettings());
        EXPECT_TRUE(shown == report) << after << ": " << shown.size() << " bytes shown of " << report.size();
    };
    sendCommand(w, ID_MENU_START);
    sendCommand(w, ID_MENU_LAP);
    expectWhole("a lap, hidden");
    sendCommand(w, ID_MENU_STOP);
    expectWhole("a stop");
    sendCommand(w, ID_MENU_START);  // the resume drops the stop line
    sendCommand(w, ID_MENU_LAP);
    expectWhole("a lap after the resume");
    sendCommand(w, ID_MENU_RESET);
    sendCommand(w, ID_MENU_START);
    sendCommand(w, ID_MENU_LAP);
    expectWhole("a lap after a reset");
    processSettings().Funbyou = 1;
    sendCommand(w, ID_MENU_LAP);
    expectWhole("a lap in the other mode");
    // Past the text box's first limit of 30 000 characters.
    for (int i = 0; i < 2000; ++i) sendCommand(w, ID_MENU_LAP);
    sendCommand(w, ID_MENU_STOP);
    EXPECT_GT(lapWindowText().size(), 30000u);
    expectWhole("2 000 laps");
    EXPECT_FALSE(IsWindowVisible(lapTimeWindow.load()));
}

TEST(MainWindow, ButtonsFollowTheClientSize) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    RECT outer{}, client{};
    GetWindowRect(w, &outer);
    GetClientRect(w, &client);
    // Resize so that the client area is 200 wide.
    const int frame = (outer.right - outer.left) - client.right;
    SetWindowPos(w, nullptr, 0, 0, 200 + frame, outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(w, &client);
    ASSERT_EQ(client.right, 200);
    expectButtonsAt(w, 200, client.bottom);
    EXPECT_EQ(commandButtons[4]->rect.right, 202);
    for (CommandButton* b : commandButtons) EXPECT_TRUE(IsWindowVisible(b->window));
    // A window cannot be made narrower than its frame allows; minimised its
    // client area is 0 x 0, the case of a width below 5.
    ShowWindow(w, SW_MINIMIZE);
    pumpFor(50);
    GetClientRect(w, &client);
    ASSERT_EQ(client.right, 0);
    EXPECT_EQ(commandButtons[4]->rect.left, 1);
    EXPECT_EQ(commandButtons[4]->rect.right, 2);
    EXPECT_EQ(commandButtons[0]->rect.top, -28);
    ShowWindow(w, SW_RESTORE);
    pumpFor(50);
    GetClientRect(w, &client);
    expectButtonsAt(w, client.right, client.bottom);
}

TEST(MainWindow, ButtonSwitchHidesTheButtons) {
    MorviSession session(iniWith({{"Button", "0"}}));
    ASSERT_TRUE(session.started());
    for (CommandButton* b : commandButtons) EXPECT_FALSE(IsWindowVisible(b->window));
}

// Counts the back buffer's pixels in a colour, over the display area.
int pixelsOf(COLORREF colour, int* others = nullptr) {
    MainWindow* mw = getMainWindow();
    RECT client{};
    GetClientRect(mw->window, &client);
    int count = 0, rest = 0;
    for (int y = 0; y < client.bottom - 28; ++y)
        for (int x = 0; x < client.right; ++x) {
            const COLORREF c = GetPixel(mw->backBufferDC, x, y);
            if (c == colour)
                ++count;
            else if (c != RGB(0, 0, 0))
                ++rest;
        }
    if (others) *others = rest;
    return count;
}

void repaint(HWND w) {
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
}

TEST(MainWindow, PaintDrawsTheTimeOnBlackInItsColours) {
    // Non-antialiased text, so every text pixel is exactly the colour.
    MorviSession session(iniWith({{"TxColor", "ff00"}, {"TxColorStop", "ff"}, {"Quality", "3"}}));
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    repaint(w);
    int others = 0;
    EXPECT_GT(pixelsOf(RGB(255, 0, 0), &others), 20);  // idle: TxColorStop 0x0000ff is red
    EXPECT_EQ(others, 0);
    EXPECT_EQ(pixelsOf(RGB(0, 255, 0)), 0);
    sendCommand(w, ID_MENU_START);
    repaint(w);
    EXPECT_GT(pixelsOf(RGB(0, 255, 0), &others), 20);  // running: TxColor
    EXPECT_EQ(others, 0);
    sendCommand(w, ID_MENU_STOP);
    repaint(w);
    EXPECT_GT(pixelsOf(RGB(255, 0, 0)), 20);
    // The top row is clear: the text starts two pixels down.
    MainWindow* mw = getMainWindow();
    RECT client{};
    GetClientRect(w, &client);
    for (int x = 0; x < client.right; ++x) EXPECT_EQ(GetPixel(mw->backBufferDC, x, 0), RGB(0, 0, 0));
}

// On a scripted clock: the one-shot timer is armed for the moment the picture
// next changes, a paint there shows the change, and one before it does not.
TEST(MainWindow, TheDisplayIsPaintedWhenItsPictureChanges) {
    ScriptedClock clock{100000, 0};
    MorviSession session(iniWith({{"StartColon", "1"}, {"LapTime", "1000"}, {"Quality", "3"}}));
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    installClock(processStopwatch(), clock);
    const auto timerAt = [&](Tick t) {
        clock.now = t;
        SendMessageA(w, WM_TIMER, displayTimerId, 0);
        return pixelsOf(RGB(255, 255, 255));
    };
    sendCommand(w, ID_MENU_START);
    UpdateWindow(w);
    EXPECT_EQ(displayTimerArmed, 1);
    EXPECT_EQ(displayTimerDue, 100500u);  // where the blank separators turn into colons
    const int blank = timerAt(100499);    // a timer that comes early changes nothing
    EXPECT_EQ(displayTimerDue, 100500u);
    EXPECT_GT(timerAt(100500), blank);
    EXPECT_EQ(displayTimerDue, 101000u);
    const int zero = timerAt(100999);
    EXPECT_NE(timerAt(101000), zero);  // the new second
    EXPECT_EQ(displayTimerDue, 102000u);
    // The flash lasts its time, however often the window is painted meanwhile.
    clock.now = 101200;
    sendCommand(w, ID_MENU_LAP);
    UpdateWindow(w);
    EXPECT_EQ(displayTimerDue, 102200u);
    const int flash = pixelsOf(RGB(255, 255, 255));
    RECT r{};
    GetWindowRect(w, &r);
    for (int i = 0; i < 5; ++i) {
        const HWND cover = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, r.left, r.top,
                                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
        pumpFor(20);
        DestroyWindow(cover);
        pumpFor(20);
    }
    EXPECT_EQ(timerAt(102199), flash);
    EXPECT_NE(timerAt(102200), flash);
    EXPECT_EQ(processStopwatch().state.lapFlashOn, 0);
    EXPECT_EQ(displayTimerDue, 103000u);
    // Stopped, nothing changes until the next command.
    sendCommand(w, ID_MENU_STOP);
    UpdateWindow(w);
    EXPECT_EQ(displayTimerArmed, 0);
}

TEST(MainWindow, SettingsAreSavedWhenTheWindowIsDestroyed) {
    MorviSession session(iniWith({{"Left", "120"},
                                  {"Right", "360"},
                                  {"Top", "80"},
                                  {"Bottom", "190"},
                                  {"Start", "59,F1"},
                                  {"LapTime", "1500"}}));
    ASSERT_TRUE(session.started());
    RECT r{};
    GetWindowRect(session.window(), &r);
    EXPECT_EQ(r.left, 120);
    EXPECT_EQ(r.right, 360);
    MoveWindow(session.window(), 150, 90, 240, 110, TRUE);
    session.stop();
    const std::string saved = session.savedIni();
    EXPECT_NE(saved.find("\r\nLeft=150\r\nRight=390\r\nTop=90\r\nBottom=200\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nStart=59,F1\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\r\nLapTime=1500\r\n"), std::string::npos);
    EXPECT_EQ(processStopwatch().state.quitRequested.load(), 1);
}

RECT outerRect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

TEST(MainWindow, TheSavedRectangleIsRestoredWhenItHasASizeOnSomeMonitor) {
    {
        // At the screen's left edge.
        MorviSession edge(iniWith({{"Left", "0"}, {"Right", "300"}, {"Top", "10"}, {"Bottom", "200"}}));
        ASSERT_TRUE(edge.started());
        const RECT r = outerRect(edge.window());
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 10);
        EXPECT_EQ(r.right, 300);
    }
    {
        // On a monitor since unplugged: at the creation position instead.
        MorviSession lost(iniWith({{"Left", "30000"}, {"Right", "30300"}, {"Top", "10"}, {"Bottom", "200"}}));
        ASSERT_TRUE(lost.started());
        const RECT r = outerRect(lost.window());
        EXPECT_EQ(r.left, 200);
        EXPECT_EQ(r.top, 200);
        EXPECT_EQ(r.right - r.left, 200);
    }
    EXPECT_FALSE(savedRectUsable(RECT{0, 0, 0, 0}));
    EXPECT_FALSE(savedRectUsable(RECT{100, 100, 100, 300}));
    EXPECT_TRUE(savedRectUsable(RECT{0, 0, 200, 100}));
}

LONG style(HWND w) { return GetWindowLongA(w, GWL_STYLE); }
LONG exStyle(HWND w) { return GetWindowLongA(w, GWL_EXSTYLE); }

TEST(MainWindow, StylesFollowTheSwitches) {
    {
        MorviSession plain;
        ASSERT_TRUE(plain.started());
        EXPECT_EQ(style(plain.window()) & WS_CAPTION, WS_CAPTION);
        EXPECT_NE(style(plain.window()) & WS_THICKFRAME, 0);
        EXPECT_EQ(exStyle(plain.window()) & WS_EX_TOPMOST, 0);
        EXPECT_TRUE(IsWindowVisible(plain.window()));
    }
    {
        MorviSession noTitle(iniWith({{"Title", "0"}}));
        ASSERT_TRUE(noTitle.started());
        EXPECT_EQ(style(noTitle.window()) & WS_CAPTION, 0);
    }
    {
        MorviSession empty("", true);  // an empty file leaves Title at 0
        ASSERT_TRUE(empty.started());
        EXPECT_EQ(style(empty.window()) & WS_CAPTION, 0);
    }
    {
        // Without a saved rectangle too: a window shown later stays below it.
        MorviSession topmost(iniWith({{"Topmost", "1"}}));
        ASSERT_TRUE(topmost.started());
        const HWND later = CreateWindowExA(0, "STATIC", "later", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetForegroundWindow(later);
        pumpFor(50);
        HWND above = topmost.window();
        while (above && above != later) above = GetWindow(above, GW_HWNDNEXT);
        EXPECT_EQ(above, later);
        DestroyWindow(later);
    }
    {
        // Topmost takes effect through the restoring SetWindowPos.
        MorviSession topmost(
            iniWith({{"Topmost", "1"}, {"Left", "50"}, {"Right", "300"}, {"Top", "60"}, {"Bottom", "170"}}));
        ASSERT_TRUE(topmost.started());
        EXPECT_NE(exStyle(topmost.window()) & WS_EX_TOPMOST, 0);
    }
    {
        MorviSession fixed(iniWith({{"WindowFix", "1"}}));
        ASSERT_TRUE(fixed.started());
        EXPECT_EQ(style(fixed.window()) & WS_THICKFRAME, 0);
        EXPECT_EQ(style(fixed.window()) & WS_CAPTION, WS_CAPTION);
        SendMessageA(fixed.window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        EXPECT_EQ(dragState.dragging.load(), 0);
    }
    {
        MorviSession two(iniWith({{"WindowFix", "2"}}));
        ASSERT_TRUE(two.started());
        EXPECT_NE(style(two.window()) & WS_THICKFRAME, 0);  // the border stays
        SendMessageA(two.window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        EXPECT_EQ(dragState.dragging.load(), 0);  // but no drag starts
    }
}

TEST(MainWindow, MouseStartsAndEndsDrags) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 12));
    EXPECT_EQ(dragState.dragging.load(), 1);
    EXPECT_EQ(dragState.clickInProgress.load(), 0);
    POINT p{10, 12};
    ClientToScreen(w, &p);
    EXPECT_EQ(dragState.lastCursorX.load(), p.x);
    EXPECT_EQ(dragState.lastCursorY.load(), p.y);
    SendMessageA(w, WM_LBUTTONUP, 0, MAKELPARAM(10, 12));
    EXPECT_EQ(dragState.dragging.load(), 0);
    // A mouse move with the button up ends a drag and records the foreground window.
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 12));
    SendMessageA(w, WM_MOUSEMOVE, 0, MAKELPARAM(11, 12));
    EXPECT_EQ(dragState.dragging.load(), 0);
    EXPECT_EQ(dragState.movedWhileHeld.load(), 1);
    EXPECT_EQ(previousForeground, GetForegroundWindow());
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 12));
    EXPECT_EQ(dragState.movedWhileHeld.load(), 0);
}

TEST(MainWindow, MessagesWithFixedAnswers) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    const HWND w = session.window();
    EXPECT_EQ(SendMessageA(w, MM_JOY1BUTTONDOWN, 0, 0), 0);
    EXPECT_EQ(SendMessageA(w, WM_KEYDOWN, VK_SPACE, 0), 0);
    EXPECT_EQ(SendMessageA(w, WM_TIMER, 1, 0), 0);
    EXPECT_EQ(processStopwatch().state.running.load(), 0);
    // Minimised: the saved rectangle stays as it was.
    const RECT before = processSettings().windowRect;
    ShowWindow(w, SW_MINIMIZE);
    pumpFor(50);
    EXPECT_EQ(processSettings().windowRect.left, before.left);
    EXPECT_EQ(processSettings().windowRect.bottom, before.bottom);
    ShowWindow(w, SW_RESTORE);
}

TEST(MainWindow, ExitCommandEndsTheLoopWithZero) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    sendCommand(session.window(), ID_MENU_EXIT);
    EXPECT_FALSE(IsWindow(session.window()));
    MSG m{};
    bool quit = false;
    WPARAM code = 99;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        if (m.message == WM_QUIT) quit = true, code = m.wParam;
    EXPECT_TRUE(quit);
    EXPECT_EQ(code, 0u);
    PostQuitMessage(0);  // for the session's own shut-down
    EXPECT_EQ(lapTimeWindow.load(), nullptr);
}

}  // namespace
