#include "hotkey_poller.h"

#include <cstring>

#include "keyboard_device.h"
#include "settings.h"
#include "system_libraries.h"

DragState dragState;
unsigned char previousKeys[256];
unsigned char currentKeys[256];
unsigned char pressTaken[256];

bool isNewPress(std::int32_t code) { return isNewPressBetween(previousKeys, currentKeys, code); }

bool hotkeyStepAllowed(std::int32_t optionsOpen, std::int32_t backGround, HWND mainWindow, HWND (*foreground)()) {
    if (optionsOpen != 0) return false;
    return backGround != 1 || foreground() == mainWindow;
}

namespace {

// The regular cycle's period: the display's clock and the lap flash's count.
constexpr DWORD cycleMs = 90;

HWND foregroundWindow() { return GetForegroundWindow(); }

void dragStep(HWND mainWindow) {
    if (dragState.dragging.load() != 1 || dragState.clickInProgress.load() != 0) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    const LONG dx = cursor.x - dragState.lastCursorX.load();
    const LONG dy = cursor.y - dragState.lastCursorY.load();
    RECT& saved = processSettings().windowRect;
    RECT r = sharedLoadRect(saved);
    OffsetRect(&r, dx, dy);
    sharedStoreRect(saved, r);
    MoveWindow(mainWindow, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    dragState.lastCursorX.store(cursor.x);
    dragState.lastCursorY.store(cursor.y);
}

// Drains the key events, always, so that a press made while hotkeys are
// blocked is dropped for good rather than acted on later.
void drainKeyPresses(std::int32_t snapshotFresh, KeyPresses& presses) {
    KeyEvent events[maxDrainedEvents];
    const int count = readKeyboardEvents(events, maxDrainedEvents);
    collectKeyPresses(previousKeys, currentKeys, snapshotFresh, events, count, pressTaken, presses);
}

// Applies a drain's hotkeys when they may act; true when a command was applied.
// Each command's guard sees the ones applied before it.
bool applyHotkeys(HWND mainWindow, const KeyPresses& presses) {
    Settings& s = processSettings();
    Stopwatch& sw = processStopwatch();
    std::int32_t codes[5];
    for (int i = 0; i < 5; ++i) codes[i] = sharedLoad(s.keyBindings[i].code);
    HotkeyCommand commands[maxHotkeyCommands];
    const int count = hotkeyCommands(presses, codes, commands);
    if (count == 0) return false;
    if (!hotkeyStepAllowed(sw.state.optionsOpen.load(), sharedLoad(s.BackGround), mainWindow, foregroundWindow))
        return false;
    for (int i = 0; i < count; ++i) {
        const HotkeyCommand& c = commands[i];
        if (c.timed == 1)
            applyCommandAt(sw, c.command, sharedLoad(s.LapTime), c.tick);
        else
            applyCommand(sw, c.command, sharedLoad(s.LapTime));
    }
    return true;
}

}  // namespace

void runPollerCycle(HWND mainWindow) {
    std::memcpy(previousKeys, currentKeys, sizeof previousKeys);
    // A failed read leaves currentKeys as it was: its snapshot says nothing new.
    const std::int32_t fresh = readKeyboardState(currentKeys);
    KeyPresses presses;
    drainKeyPresses(fresh, presses);
    dragStep(mainWindow);
    applyHotkeys(mainWindow, presses);
    InvalidateRect(mainWindow, nullptr, FALSE);
}

void runPollerWake(HWND mainWindow) {
    KeyPresses presses;
    drainKeyPresses(0, presses);
    if (applyHotkeys(mainWindow, presses)) InvalidateRect(mainWindow, nullptr, FALSE);
}

DWORD WINAPI runHotkeyPoller(LPVOID mainWindow) {
    const HWND window = static_cast<HWND>(mainWindow);
    for (;;) {
        // The keyboard is published once, after the window's creation and any
        // error boxes: wait for it without holding a core. Without it (the
        // record could not be made) the thread still ends at quit.
        while (keyboardDevice.load() == nullptr) {
            if (processStopwatch().state.quitRequested.load() == 1) return 0;
            Sleep(5);
        }
        runPollerCycle(window);
        if (processStopwatch().state.quitRequested.load() == 1) return 0;
        // Until the next cycle is due, key events wake the thread; they do not
        // move the cycle, which keeps the display's cadence.
        const DWORD due = systemTime() + cycleMs;
        for (;;) {
            const std::int32_t left = static_cast<std::int32_t>(due - systemTime());
            if (left <= 0) break;
            if (waitForKeyboardInput(static_cast<DWORD>(left)) == 1) runPollerWake(window);
        }
    }
}
