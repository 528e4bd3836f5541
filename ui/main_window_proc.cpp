#include "ui/main_window_proc.h"

#include <mmsystem.h>

#include <cstring>
#include <optional>
#include <type_traits>

#include "input/hotkey_poller.h"
#include "platform/display_dpi.h"
#include "platform/system_libraries.h"
#include "settings/screen_units.h"
#include "settings/settings.h"
#include "ui/lap_time_window.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/program_resources.h"
#include "ui/resource_ids.h"
#include "ui/setting_switches.h"
#include "ui/single_instance.h"

HWND previousForeground = nullptr;
HMENU popupMenu = nullptr;
HWND optionsDialog = nullptr;
std::atomic<HWND> lapTimeWindow{nullptr};
HANDLE hotkeyPollerThread = nullptr;
std::int32_t displayTimerArmed = 0;
Tick displayTimerDue = 0;

TextSettings currentTextSettings() {
    const Settings& s = processSettings();
    return TextSettings{sharedLoad(s.Funbyou), sharedLoad(s.StartColon),
                        static_cast<std::uint32_t>(sharedLoad(s.fontDialogRecord.rgbColors)),
                        static_cast<std::uint32_t>(sharedLoad(s.TxColorStop))};
}

CommandAction commandForId(int id) {
    using C = StopwatchCommand;
    switch (id) {
    case ID_MENU_START:
    case IDC_BUTTON_START: return {CommandAction::Apply, C::Start, true};
    case ID_MENU_STOP:
    case IDC_BUTTON_STOP: return {CommandAction::Apply, C::Stop, false};
    case ID_MENU_RESET:
    case IDC_BUTTON_RESET: return {CommandAction::Apply, C::Reset, false};
    case ID_MENU_LAP:
    case IDC_BUTTON_LAP: return {CommandAction::Apply, C::Lap, true};
    case ID_MENU_NEXT:
    case IDC_BUTTON_TIME: return {CommandAction::Apply, C::Next, true};
    case ID_MENU_OPTIONS: return {CommandAction::Options, C::Start, false};
    case ID_MENU_LAPTIME: return {CommandAction::ShowLapTimes, C::Start, false};
    case ID_MENU_EXIT: return {CommandAction::Exit, C::Start, false};
    default: return {CommandAction::Ignore, C::Start, false};
    }
}

bool savedRectUsable(const RECT& r) {
    // A monitor since unplugged would open the window where nobody can see it.
    return r.right - r.left > 0 && r.bottom - r.top > 0 && MonitorFromRect(&r, MONITOR_DEFAULTTONULL) != nullptr;
}

int displayBottom(int clientBottom) {
    return processSettings().Button == 1 ? clientBottom - buttonRowHeight() : clientBottom;
}

namespace {

void storeWindowRect(HWND window) {
    if (IsIconic(window)) return;
    RECT r{};
    GetWindowRect(window, &r);
    sharedStoreRect(processSettings().windowRect, r);
}

// 1 while creation moves the window to its saved rectangle, which is already
// sized for the monitor it goes to. GUI thread only.
std::int32_t placingWindow = 0;

// The saved size counts at the scale of the monitor the window goes to.
void placeAtSavedRect(HWND window, HWND insertAfter) {
    Settings& s = processSettings();
    ScreenUnits& units = processScreenUnits();
    RECT target = sharedLoadRect(s.windowRect);
    const int dpi = monitorDpi(MonitorFromRect(&target, MONITOR_DEFAULTTONEAREST));
    if (dpi != units.dpi) changeScreenDpi(s, units, dpi);
    placingWindow = 1;
    // Again if Windows gave it another scale than its monitor's on the way.
    for (int tries = 0; tries < 2; ++tries) {
        const int before = units.dpi;
        target = sharedLoadRect(s.windowRect);
        SetWindowPos(window, insertAfter, target.left, target.top, target.right - target.left,
                     target.bottom - target.top, SWP_FRAMECHANGED);
        if (units.dpi == before) break;
    }
    placingWindow = 0;
}

void onCreate(HWND window) {
    Settings& s = processSettings();
    std::memset(&s.displayFont, 0, sizeof s.displayFont);
    std::memset(&s.fontDialogRecord, 0, sizeof s.fontDialogRecord);
    // The window's own scale, that of the monitor it was made on.
    processScreenUnits().dpi = windowDpi(window);
    loadSettings();

    // Every text of the menu and the dialogs goes to the screen as the
    // resources hold it, in UTF-16, whatever the system's code page.
    const HMENU menu = loadProgramMenu(L"IDR_MENU");
    popupMenu = GetSubMenu(menu, 0);
    systemJoySetCapture(window, JOYSTICKID1, 0, FALSE);

    styleWindowAsSettings(window, s);
    const HWND insertAfter = s.Topmost == 1 ? HWND_TOPMOST : HWND_NOTOPMOST;
    if (savedRectUsable(s.windowRect))
        placeAtSavedRect(window, insertAfter);
    else if (s.Topmost == 1)
        // The style bit alone does not put a window in the topmost band.
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    if (!lapTimeWindow.load()) {
        const HWND lapWindow = createProgramDialog(L"IDR_DIALOG2", window, lapTimeDialogProc);
        lapTimeWindow.store(lapWindow);
        ShowWindow(lapWindow, SW_HIDE);
    }
    hotkeyPollerWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    hotkeyPollerThread = CreateThread(nullptr, 0, runHotkeyPoller, window, 0, nullptr);
}

// One shot, for the moment the picture next changes: a timer also runs while
// a modal loop (the popup menu, the font dialog, a move) has the thread.
void armDisplayTimer(HWND window, const std::optional<Tick>& next) {
    if (!next) {
        KillTimer(window, displayTimerId);
        displayTimerArmed = 0;
        return;
    }
    const std::int32_t left = static_cast<std::int32_t>(*next - currentTick(processStopwatch()));
    SetTimer(window, displayTimerId, left > 0 ? static_cast<UINT>(left) : 1u, nullptr);
    displayTimerArmed = 1;
    displayTimerDue = *next;
}

// The window's place and the settings, as the program ends: at its
// destruction, or at the end of a Windows session, which ends the process
// without destroying any window. An options dialog still open was not
// confirmed: a box waiting for a key, a font tried out are not saved.
void saveOnExit(HWND window) {
    cancelOptionsDialog();
    storeWindowRect(window);
    saveSettingsOnExit();
}

void onDestroy(HWND window) {
    processStopwatch().state.quitRequested.store(1);
    wakeHotkeyPoller();
    armDisplayTimer(window, std::nullopt);
    markSettingsFileClosing();
    saveOnExit(window);
    releaseSettingsFileClaim();
    if (optionsDialog) DestroyWindow(optionsDialog);
    optionsDialog = nullptr;
    DestroyWindow(lapTimeWindow.exchange(nullptr));
    PostQuitMessage(0);
}

void onSize(HWND window, LPARAM lParam) {
    recreateBackBuffer(getMainWindow(), LOWORD(lParam), HIWORD(lParam));
    // The new back buffer holds nothing yet, and the text is centred anew.
    InvalidateRect(window, nullptr, FALSE);
    storeWindowRect(window);
    if (commandButtons[0]) {
        layoutCommandButtons(lParam);
        showCommandButtons();
    }
}

// Shown at another scale (dragged to another monitor, the scale changed):
// everything Morvi scales is made anew, and the window takes the rectangle
// Windows suggests, which keeps it under the cursor while it is dragged.
void onDpiChanged(HWND window, WPARAM wParam, LPARAM lParam) {
    changeScreenDpi(processSettings(), processScreenUnits(), HIWORD(wParam));
    rescaleCommandButtons();
    const RECT* r = reinterpret_cast<const RECT*>(lParam);
    if (placingWindow == 0 && r)
        SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    // The row and the buffer laid out anew at the new scale once the window
    // has its rectangle, also when the move sent a size message of its own:
    // laid out only there, the buttons keep the clipped captions their new
    // font drew at their old size.
    RECT client{};
    GetClientRect(window, &client);
    onSize(window, MAKELPARAM(client.right, client.bottom));
}

void onPaint(HWND window) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(window, &ps);
    MainWindow* mw = getMainWindow();
    const DisplayPaint paint = paintDisplayText(processStopwatch(), currentTextSettings());
    if (paint.text) drawTimeText(mw, paint.text->text, paint.text->colour);
    RECT client{};
    GetClientRect(window, &client);
    const int bottom = displayBottom(client.bottom);
    BitBlt(dc, 0, 0, client.right, bottom, mw->backBufferDC, 0, 0, SRCCOPY);
    // Under the display, where no button is (between the first two, past
    // the last), the window's own background.
    const RECT row{0, bottom, client.right, client.bottom};
    FillRect(dc, &row, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EndPaint(window, &ps);
    armDisplayTimer(window, paint.nextChange);
}

// The picture changes now. A paint that comes early shows the same picture
// and arms the timer again for the rest; a window that is not shown gets no
// paint, and its next paint arms the timer.
void onDisplayTimer(HWND window) {
    armDisplayTimer(window, std::nullopt);
    settleLapFlash(processStopwatch());
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

void openOptionsDialog(HWND window) {
    processStopwatch().state.optionsOpen.store(1);
    if (!optionsDialog) optionsDialog = createProgramDialog(L"IDR_DIALOG", window, optionsDialogProc);
    ShowWindow(optionsDialog, SW_SHOW);
    tellIfSettingsFileUnread(optionsDialog);
}

void onCommand(HWND window, WPARAM wParam) {
    const CommandAction action = commandForId(LOWORD(wParam));
    switch (action.kind) {
    case CommandAction::Apply:
        applyCommand(processStopwatch(), action.command, processSettings().LapTime);
        InvalidateRect(window, nullptr, FALSE);
        if (action.handBackFocus && processSettings().Focus == 1) {
            ShowWindowAsync(previousForeground, SW_SHOW);
            SetForegroundWindow(previousForeground);
        }
        break;
    case CommandAction::Options: openOptionsDialog(window); break;
    case CommandAction::ShowLapTimes:
        ShowWindow(lapTimeWindow.load(), SW_SHOW);
        UpdateWindow(lapTimeWindow.load());
        break;
    case CommandAction::Exit: DestroyWindow(window); break;
    case CommandAction::Ignore: break;
    }
}

void onMouseMove() {
    if (dragState.dragging.load() == 1) dragState.movedWhileHeld.store(1);
    previousForeground = GetForegroundWindow();
    const int primary = GetSystemMetrics(SM_SWAPBUTTON) == 1 ? VK_RBUTTON : VK_LBUTTON;
    if (GetAsyncKeyState(primary) & 0x8000) return;
    dragState.dragging.store(0);
}

void onLeftButtonDown(HWND window, LPARAM lParam) {
    dragState.clickInProgress.store(1);
    if (processSettings().WindowFix == 0) {
        const bool moved = dragState.movedWhileHeld.load() == 1;
        dragState.dragging.store(1);
        wakeHotkeyPoller();  // it follows the cursor from now on
        if (moved) SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, lParam);
        dragState.movedWhileHeld.store(0);
        POINT p{static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
        ClientToScreen(window, &p);
        dragState.lastCursorX.store(p.x);
        dragState.lastCursorY.store(p.y);
    }
    dragState.clickInProgress.store(0);
}

// The popup menu at a point of the client area; it ends any drag.
void openPopupMenu(HWND window, POINT p) {
    dragState.dragging.store(0);
    ClientToScreen(window, &p);
    TrackPopupMenu(popupMenu, TPM_LEFTBUTTON, p.x, p.y, 0, window, nullptr);
}

void onRightButtonDown(HWND window, LPARAM lParam) {
    openPopupMenu(window, POINT{static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))});
}

// Shift+F10 and the menu key: the menu opens at the window, as in every
// program. A right click already opened it where it was made; one on the
// caption is the system menu's.
LRESULT onContextMenu(HWND window, WPARAM wParam, LPARAM lParam) {
    if (lParam != -1) return DefWindowProcW(window, WM_CONTEXTMENU, wParam, lParam);
    openPopupMenu(window, POINT{scaled(8), scaled(8)});
    return 0;
}

}  // namespace

static_assert(std::is_same_v<decltype(&mainWindowProc), WNDPROC>, "the system's calling convention");

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); return 0;
    case WM_DESTROY: onDestroy(window); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
        if (wParam) saveOnExit(window);
        return 0;
    case WM_MOVE: storeWindowRect(window); return 0;
    case WM_SIZE: onSize(window, lParam); return 0;
    case WM_DPICHANGED: onDpiChanged(window, wParam, lParam); return 0;
    case WM_ACTIVATE: return 0;
    case WM_PAINT: onPaint(window); return 0;
    case WM_CLOSE: DestroyWindow(getMainWindow()->window); return 0;
    case WM_KEYDOWN: return 0;
    case WM_COMMAND: onCommand(window, wParam); return 0;
    case WM_TIMER:
        if (wParam == displayTimerId) onDisplayTimer(window);
        return 0;
    case WM_MOUSEMOVE: onMouseMove(); return 0;
    case WM_LBUTTONDOWN: onLeftButtonDown(window, lParam); return 0;
    case WM_LBUTTONUP: dragState.dragging.store(0); return 0;
    case WM_RBUTTONDOWN: onRightButtonDown(window, lParam); return 0;
    case WM_CONTEXTMENU: return onContextMenu(window, wParam, lParam);
    case MM_JOY1BUTTONDOWN: return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
