#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <filesystem>
#include <memory>

#include "settings/settings.h"
#include "tests/test_support.h"
#include "ui/options_dialog.h"

namespace {

TEST(HotkeyCapture, TheLowestNewKeyGoesToTheFirstArmedBinding) {
    Settings s{};
    std::int32_t armed[BindingCount] = {0, 1, 0, 1, 0};
    Keys up, down;
    down.down(0x3B).down(0x1D);  // F1 and Ctrl: Ctrl has the lower code
    EXPECT_EQ(captureNewKey(s, armed, down.bytes, up.bytes), 1);
    EXPECT_EQ(s.keyBindings[1].code, 0x1D);
    EXPECT_STREQ(s.keyBindings[1].name, "Ctrl (Left)");
    EXPECT_EQ(armed[1], 0);
    EXPECT_EQ(armed[3], 1);
    // A key still down since the last key-up is not new.
    up.down(0x1D);
    EXPECT_EQ(captureNewKey(s, armed, down.bytes, up.bytes), 3);
    EXPECT_EQ(s.keyBindings[3].code, 0x3B);
    EXPECT_STREQ(s.keyBindings[3].name, "F1");
    // Nothing armed any more.
    Keys later;
    later.down(0x10);
    EXPECT_EQ(captureNewKey(s, armed, later.bytes, Keys{}.bytes), -1);
}

TEST(HotkeyCapture, UnnamedKeysChangeNothingAndKeepTheBindingArmed) {
    Settings s{};
    std::int32_t armed[BindingCount] = {1, 0, 0, 0, 0};
    for (int code : {0x3A, 0x90, 0x00}) {
        Keys down;
        down.down(code);
        EXPECT_EQ(captureNewKey(s, armed, down.bytes, Keys{}.bytes), -1) << code;
        EXPECT_EQ(armed[0], 1);
        EXPECT_EQ(s.keyBindings[0].code, 0);
    }
    // Caps Lock is lower than F1 and wins the search, so F1 held with it is refused too.
    Keys both;
    both.down(0x3A).down(0x3B);
    EXPECT_EQ(captureNewKey(s, armed, both.bytes, Keys{}.bytes), -1);
    EXPECT_EQ(findNewKey(Keys{}.bytes, Keys{}.bytes), -1);
    EXPECT_EQ(findNewKey(both.bytes, Keys{}.bytes), 0x3A);
}

}  // namespace

// The real dialog, opened from the menu and typed at with SendInput.
#include <imm.h>

#include <string>

#include "engine/stopwatch.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/main_window_proc.h"
#include "ui/resource_ids.h"

namespace {

std::string boxText(int id) {
    char text[64] = {};
    GetDlgItemTextA(optionsDialog, id, text, sizeof text);
    return text;
}

struct OptionsDialog : ::testing::Test {
    std::string ini = iniWith({});
    std::unique_ptr<MorviSession> session;

    void open() {
        session = std::make_unique<MorviSession>(ini);
        ASSERT_TRUE(session->started());
        sendCommand(session->window(), ID_MENU_OPTIONS);
        ASSERT_NE(optionsDialog, nullptr);
        SetForegroundWindow(optionsDialog);
        pumpFor(50);
        for (std::int32_t& armed : captureArmed) armed = 0;
    }
    void focus(int id) {
        SendMessageA(optionsDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(optionsDialog, id)), TRUE);
        pumpFor(30);
    }
    void click(int id) { SendMessageA(optionsDialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void clickBox(int id) { clickInto(GetDlgItem(optionsDialog, id)); }
    void check(int id, bool on) {
        SendDlgItemMessageA(optionsDialog, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    const KeyBinding& binding(int i) { return processSettings().keyBindings[i]; }
};

TEST_F(OptionsDialog, OpensFilledFromTheSettingsAndBlocksHotkeys) {
    ini = iniWith({{"Start", "59,F1"}, {"Focus", "1"}, {"Funbyou", "2"}, {"LapTime", "-1"}});
    open();
    EXPECT_EQ(processStopwatch().state.optionsOpen.load(), 1);
    EXPECT_EQ(boxText(IDC_OPT_START_KEY), "F1");
    EXPECT_EQ(boxText(IDC_OPT_STOP_KEY), "");
    EXPECT_EQ(SendDlgItemMessageA(optionsDialog, IDC_OPT_FOCUS, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageA(optionsDialog, IDC_OPT_FUNBYOU, BM_GETCHECK, 0, 0), BST_UNCHECKED);  // 2 is not 1
    EXPECT_EQ(boxText(IDC_OPT_LAPTIME), "-1");
    // A bound hotkey does nothing while the dialog is open.
    focus(IDC_OPT_LAPTIME);
    pressKey(0x3B);
    EXPECT_EQ(processStopwatch().state.running.load(), 0);
}

TEST_F(OptionsDialog, ClickingIntoABoxArmsItAndTheNextKeyBindsIt) {
    ini = iniWith({{"Start", "30,A"}});
    open();
    clickBox(IDC_OPT_START_KEY);
    EXPECT_EQ(boxText(IDC_OPT_START_KEY), "-----");
    EXPECT_EQ(binding(BindStart).code, 0);  // unbound at once
    EXPECT_STREQ(binding(BindStart).name, "");
    EXPECT_EQ(captureArmed[BindStart], 1);
    pressKey(0x1C);  // Enter, which a waiting box takes like any other key
    EXPECT_EQ(binding(BindStart).code, 0x1C);
    EXPECT_STREQ(binding(BindStart).name, "Enter");
    EXPECT_EQ(boxText(IDC_OPT_START_KEY), "Enter");
    EXPECT_EQ(captureArmed[BindStart], 0);
    EXPECT_EQ(GetFocus(), GetDlgItem(optionsDialog, IDC_OPT_OK));
}

TEST_F(OptionsDialog, UnnamedKeysLeaveTheBindingWaiting) {
    open();
    clickBox(IDC_OPT_STOP_KEY);
    for (WORD code : {WORD{0x3A}, WORD{0x90}}) {
        pressKey(code);
        EXPECT_NE(keysAtKeyDown[code] & 0x80, 0) << code;  // the key did reach the dialog
        EXPECT_EQ(boxText(IDC_OPT_STOP_KEY), "-----") << code;
        EXPECT_EQ(binding(BindStop).code, 0) << code;
        EXPECT_EQ(captureArmed[BindStop], 1) << code;
    }
    if (GetKeyState(VK_CAPITAL) & 1) pressKey(0x3A);  // Caps Lock off again
}

TEST_F(OptionsDialog, TheFirstKeyDownOfACombinationIsBound) {
    open();
    clickBox(IDC_OPT_LAP_KEY);
    keyDown(0x1D);
    pumpFor(150);
    keyDown(0x3B);
    pumpFor(150);
    keyUp(0x3B);
    keyUp(0x1D);
    pumpFor(150);
    EXPECT_EQ(binding(BindLap).code, 0x1D);
    EXPECT_STREQ(binding(BindLap).name, "Ctrl (Left)");
}

// Tab and Shift+Tab go through the dialog in the order of its layout and
// pass through the boxes without a change; Space makes a box wait, Delete
// empties it, Esc cancels.
TEST_F(OptionsDialog, TheKeyboardMovesThroughTheBoxesAndBindsOnlyWhenAsked) {
    ini = iniWith({{"Start", "59,F1"}, {"Next", "63,F5"}});
    open();
    focus(IDC_OPT_FOCUS);
    for (const int id :
         {IDC_OPT_BUTTON, IDC_OPT_TITLE, IDC_OPT_TOPMOST, IDC_OPT_FUNBYOU, IDC_OPT_WINDOWFIX, IDC_OPT_BACKGROUND,
          IDC_OPT_STARTCOLON, IDC_OPT_LAPTIME, IDC_OPT_START_KEY, IDC_OPT_STOP_KEY, IDC_OPT_RESET_KEY, IDC_OPT_LAP_KEY,
          IDC_OPT_NEXT_KEY, IDC_OPT_FONT, IDC_OPT_OK, IDC_OPT_CANCEL, IDC_OPT_FOCUS}) {
        pressKey(0x0F, 40);
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), id);
    }
    keyDown(0x2A);  // Shift+Tab, back to the Lap box
    for (int i = 0; i < 5; ++i) pressKey(0x0F, 40);
    keyUp(0x2A);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDC_OPT_LAP_KEY);
    EXPECT_EQ(boxText(IDC_OPT_NEXT_KEY), "F5");
    for (const std::int32_t armed : captureArmed) EXPECT_EQ(armed, 0);
    EXPECT_EQ(ImmGetContext(GetDlgItem(optionsDialog, IDC_OPT_LAP_KEY)), nullptr);  // no input method
    pressKey(0x39, 40);                                                             // Space
    EXPECT_EQ(boxText(IDC_OPT_LAP_KEY), "-----");
    // Esc held a moment: bound as it goes down; its repeats and its key-up
    // are that press, and cancel nothing.
    keyDown(0x01);
    for (int repeat = 0; repeat < 3; ++repeat) pumpFor(40), keyDown(0x01);
    pumpFor(40);
    keyUp(0x01);
    pumpFor(40);
    ASSERT_NE(optionsDialog, nullptr);
    EXPECT_STREQ(binding(BindLap).name, "Esc");
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDC_OPT_OK);
    focus(IDC_OPT_NEXT_KEY);
    pressKey(0xD3, 40);  // Delete
    EXPECT_EQ(binding(BindNext).code, 0);
    EXPECT_EQ(boxText(IDC_OPT_NEXT_KEY), "");
    pressKey(0x01, 40);  // Esc: Cancel
    EXPECT_EQ(optionsDialog, nullptr);
    EXPECT_EQ(binding(BindNext).code, 0x3F);
}

// A box stops waiting when another control takes the focus: what is typed
// there is not a hotkey.
TEST_F(OptionsDialog, AWaitingBoxTakesNoKeyTypedElsewhere) {
    open();
    clickBox(IDC_OPT_NEXT_KEY);
    focus(IDC_OPT_LAPTIME);
    pressKey(0x06);  // the 5 key
    EXPECT_EQ(binding(BindNext).code, 0);
    EXPECT_EQ(captureArmed[BindNext], 0);
    EXPECT_EQ(boxText(IDC_OPT_NEXT_KEY), "");
}

TEST_F(OptionsDialog, OkAppliesSwitchesAndSaves) {
    ini = iniWith({{"Left", "100"}, {"Right", "300"}, {"Top", "100"}, {"Bottom", "200"}, {"LapTime", "700"}});
    open();
    const HWND main = session->window();
    check(IDC_OPT_FOCUS, false);
    check(IDC_OPT_BUTTON, false);
    check(IDC_OPT_TITLE, false);
    check(IDC_OPT_TOPMOST, true);
    check(IDC_OPT_FUNBYOU, true);
    check(IDC_OPT_BACKGROUND, true);
    check(IDC_OPT_STARTCOLON, true);
    check(IDC_OPT_WINDOWFIX, true);
    SetDlgItemTextA(optionsDialog, IDC_OPT_LAPTIME, "-100");
    // Another window in front (the font dialog, another program) takes none back.
    DestroyWindow(windowInFront());
    SetForegroundWindow(optionsDialog);
    pressKey(0x1C, 50);  // Enter: OK
    EXPECT_EQ(optionsDialog, nullptr);
    EXPECT_EQ(processStopwatch().state.optionsOpen.load(), 0);
    const Settings& s = processSettings();
    EXPECT_EQ(s.Focus, 0);
    EXPECT_EQ(s.Button, 0);
    EXPECT_EQ(s.Title, 0);
    EXPECT_EQ(s.Topmost, 1);
    EXPECT_EQ(s.Funbyou, 1);
    EXPECT_EQ(s.BackGround, 1);
    EXPECT_EQ(s.StartColon, 1);
    EXPECT_EQ(s.WindowFix, 1);
    EXPECT_EQ(s.LapTime, static_cast<std::uint32_t>(-100));
    EXPECT_EQ(GetWindowLongA(main, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
    // Wine does not raise a window that owns popups (the lap-time window) to
    // the topmost band, so the extended style is not checked here; the
    // start-up path, which runs before that window exists, is.
    for (CommandButton* b : commandButtons) EXPECT_FALSE(IsWindowVisible(b->window));
    // The button row's 28 pixels come off the saved bottom edge, before the save.
    const std::string saved = session->savedIni();
    EXPECT_NE(saved.find("\r\nBottom=172\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nLapTime=-100\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\r\nTitle=0\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\r\nTopmost=1\r\n"), std::string::npos);
    RECT r{};
    GetWindowRect(main, &r);
    EXPECT_EQ(r.bottom - r.top, 72);
}

TEST_F(OptionsDialog, OkRestoresFramesAndKeepsLapTimeWithoutANumber) {
    ini = iniWith({{"Left", "100"},
                   {"Right", "300"},
                   {"Top", "100"},
                   {"Bottom", "172"},
                   {"Button", "0"},
                   {"Title", "0"},
                   {"WindowFix", "1"},
                   {"LapTime", "700"}});
    for (const char* text : {"abc", ""}) {
        SCOPED_TRACE(text);
        open();
        const HWND main = session->window();
        check(IDC_OPT_BUTTON, true);
        check(IDC_OPT_TITLE, true);
        check(IDC_OPT_WINDOWFIX, false);
        SetDlgItemTextA(optionsDialog, IDC_OPT_LAPTIME, text);
        click(IDC_OPT_OK);
        EXPECT_EQ(processSettings().LapTime, 700u);
        EXPECT_EQ(GetWindowLongA(main, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
        EXPECT_NE(GetWindowLongA(main, GWL_STYLE) & WS_THICKFRAME, 0);
        EXPECT_EQ(processSettings().windowRect.bottom, 200);
        for (CommandButton* b : commandButtons) EXPECT_TRUE(IsWindowVisible(b->window));
        session.reset();
    }
}

TEST_F(OptionsDialog, SwitchesThatAlreadyMatchLeaveTheStyleAlone) {
    ini = iniWith({{"Title", "2"}, {"WindowFix", "2"}});
    open();
    const HWND main = session->window();
    const LONG before = GetWindowLongA(main, GWL_STYLE);
    check(IDC_OPT_TITLE, false);     // Title 2 is not 1: no change of style
    check(IDC_OPT_WINDOWFIX, true);  // WindowFix 2 is not 0: no change either
    click(IDC_OPT_OK);
    EXPECT_EQ(GetWindowLongA(main, GWL_STYLE), before);
    EXPECT_EQ(processSettings().Title, 0);
    EXPECT_EQ(processSettings().WindowFix, 1);
}

TEST_F(OptionsDialog, CancelReloadsTheFile) {
    ini = iniWith({{"Start", "0,"}, {"Focus", "1"}});
    open();
    clickBox(IDC_OPT_START_KEY);
    pressKey(0x3B);
    ASSERT_EQ(binding(BindStart).code, 0x3B);
    check(IDC_OPT_FOCUS, false);
    click(IDC_OPT_CANCEL);
    EXPECT_EQ(optionsDialog, nullptr);
    EXPECT_EQ(processStopwatch().state.optionsOpen.load(), 0);
    EXPECT_EQ(processSettings().Focus, 1);
    // The file's unbound Start: code 0, and no captured name left beside it.
    EXPECT_EQ(binding(BindStart).code, 0);
    EXPECT_STREQ(binding(BindStart).name, "");
    // Closing is the same as Cancel, and leaves no binding armed for the next dialog.
    sendCommand(session->window(), ID_MENU_OPTIONS);
    clickBox(IDC_OPT_STOP_KEY);
    SendMessageA(optionsDialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(optionsDialog, nullptr);
    EXPECT_EQ(captureArmed[BindStop], 0);
}

// Cancel, or the smallest size and OK.
// Whether the last font dialog was laid out system-aware, as it must be on
// a monitor of any scale.
bool fontDialogSystemAware = false;

void runFontDialog(bool confirmSmallest) {
    ASSERT_TRUE(answerFontDialog([confirmSmallest](HWND fontDialog) {
        fontDialogSystemAware = AreDpiAwarenessContextsEqual(GetWindowDpiAwarenessContext(fontDialog),
                                                             DPI_AWARENESS_CONTEXT_SYSTEM_AWARE) != FALSE;
        if (confirmSmallest) {
            constexpr int sizeBox = 0x472;  // cmb3
            SendDlgItemMessageA(fontDialog, sizeBox, CB_SETCURSEL, 0, 0);
            SendMessageA(fontDialog, WM_COMMAND, MAKEWPARAM(sizeBox, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(fontDialog, sizeBox)));
        }
        PostMessageA(fontDialog, WM_COMMAND, confirmSmallest ? IDOK : IDCANCEL, 0);
    }));
}

TEST_F(OptionsDialog, CancellingTheFontDialogKeepsTheFont) {
    ini = iniWith({{"Height", "-40"}, {"FaceName", "Courier New"}, {"Weight", "700"}});
    open();
    const LOGFONTA before = processSettings().displayFont;
    const DPI_AWARENESS_CONTEXT context = GetThreadDpiAwarenessContext();
    runFontDialog(false);
    EXPECT_EQ(std::memcmp(&processSettings().displayFont, &before, sizeof before), 0);
    EXPECT_TRUE(fontDialogSystemAware);
    EXPECT_TRUE(AreDpiAwarenessContextsEqual(GetThreadDpiAwarenessContext(), context));
}

TEST_F(OptionsDialog, EndingWhileOpenSavesOnlyWhatWasConfirmed) {
    ini = iniWith({{"Start", "59,F1"},
                   {"Height", "-40"},
                   {"FaceName", "Courier New"},
                   {"Left", "100"},
                   {"Right", "300"},
                   {"Top", "100"},
                   {"Bottom", "200"}});
    open();
    // A box armed when the Windows session ends: the query changes nothing,
    // the end drops the unconfirmed binding before it saves.
    clickBox(IDC_OPT_START_KEY);
    ASSERT_EQ(binding(BindStart).code, 0);
    EXPECT_EQ(SendMessageA(session->window(), WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_NE(optionsDialog, nullptr);
    SendMessageA(session->window(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(optionsDialog, nullptr);
    EXPECT_EQ(session->savedIni(), ini);
    // A font chosen, a key captured, then the close box.
    sendCommand(session->window(), ID_MENU_OPTIONS);
    runFontDialog(true);
    ASSERT_NE(processSettings().displayFont.lfHeight, -40);
    clickBox(IDC_OPT_RESET_KEY);
    pressKey(0x3D);
    check(IDC_OPT_FUNBYOU, true);
    session->stop();
    EXPECT_EQ(session->savedIni(), ini);
    EXPECT_EQ(optionsDialog, nullptr);
}

int unsavedBoxes = 0;
int WINAPI countUnsavedBox(HWND owner, LPCWSTR text, LPCWSTR, UINT) {
    if (owner == optionsDialog && std::wcsstr(text, L"Morvi.ini")) ++unsavedBoxes;
    return IDOK;
}

TEST_F(OptionsDialog, AMorviIniThatCannotBeReadOrWrittenIsKeptAndMorviSaysSo) {
    // Not a Morvi.ini: the user is told once, when the options first open,
    // and only OK writes over it.
    ini = "\x01 not settings \xFF\r\n";
    settingsMessageBox = countUnsavedBox;
    unsavedBoxes = 0;
    open();
    EXPECT_EQ(unsavedBoxes, 1);
    click(IDC_OPT_CANCEL);
    sendCommand(session->window(), ID_MENU_OPTIONS);
    EXPECT_EQ(session->savedIni(), ini);
    click(IDC_OPT_OK);
    EXPECT_EQ(unsavedBoxes, 1);
    EXPECT_NE(session->savedIni(), ini);
    session->stop();

    // Read-only: kept, and an OK that cannot save says so.
    ini = iniWith({{"Start", "59,F1"}});
    open();
    const std::string path = session->dir().file("Morvi.ini");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    unsavedBoxes = 0;
    clickBox(IDC_OPT_STOP_KEY);
    pressKey(0x3C);
    click(IDC_OPT_OK);
    EXPECT_EQ(unsavedBoxes, 1);
    // Applied all the same; a later Cancel brings back that, not the older file.
    sendCommand(session->window(), ID_MENU_OPTIONS);
    clickBox(IDC_OPT_STOP_KEY);
    click(IDC_OPT_CANCEL);
    EXPECT_EQ(binding(BindStop).code, 0x3C);
    MoveWindow(session->window(), 150, 90, 240, 110, TRUE);
    session->stop();  // the closing save fails silently
    settingsMessageBox = MessageBoxW;
    EXPECT_EQ(unsavedBoxes, 1);
    EXPECT_EQ(session->savedIni(), ini);
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(session->dir().path())) entries += entry.exists();
    EXPECT_EQ(entries, 1);  // no temporary file left
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
