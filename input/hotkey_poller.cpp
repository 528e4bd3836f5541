#include "hotkey_poller.h"

#include <cstring>

#include "keyboard_device.h"
#include "settings.h"

DragState dragState;
unsigned char previousKeys[256];
unsigned char currentKeys[256];
unsigned char pressTaken[256];

namespace {

// A hand-edited code outside the snapshot would index past it: no key.
bool isKeyCode(std::int32_t code) { return code > 0 && code <= 255; }

}  // namespace

bool isNewPressBetween(const unsigned char* previous, const unsigned char* current, std::int32_t code) {
    if (!isKeyCode(code)) return false;
    return (current[code] & 0x80) != 0 && (previous[code] & 0x80) == 0;
}

bool isNewPress(std::int32_t code) { return isNewPressBetween(previousKeys, currentKeys, code); }

void keysPressedSince(const unsigned char* previous, const unsigned char* current, const KeyEvent* events, int count,
                      unsigned char taken[256], unsigned char pressed[256]) {
    // The snapshot is taken before the drain, so a key that goes down between
    // the two is seen by this cycle's event and by the next cycle's snapshots:
    // `taken` keeps it from counting twice.
    for (int code = 0; code < 256; ++code) {
        const bool edge = isNewPressBetween(previous, current, code) && taken[code] == 0;
        pressed[code] = edge ? 0x80 : 0;
        if ((current[code] & 0x80) == 0) taken[code] = 0;
    }
    for (int i = 0; i < count; ++i) {
        const KeyEvent e = events[i];
        if (e.down != 0) pressed[e.code] = 0x80;
        taken[e.code] = e.down != 0 ? 1 : 0;
    }
}

int hotkeyCommands(const unsigned char pressed[256], const std::int32_t codes[5], StopwatchCommand out[5]) {
    static const StopwatchCommand order[5] = {StopwatchCommand::Start, StopwatchCommand::Stop, StopwatchCommand::Reset,
                                              StopwatchCommand::Lap, StopwatchCommand::Next};
    int count = 0;
    for (int i = 0; i < 5; ++i)
        if (isKeyCode(codes[i]) && (pressed[codes[i]] & 0x80) != 0) out[count++] = order[i];
    return count;
}

bool hotkeyStepAllowed(std::int32_t optionsOpen, std::int32_t backGround, HWND mainWindow, HWND (*foreground)()) {
    if (optionsOpen != 0) return false;
    return backGround != 1 || foreground() == mainWindow;
}

namespace {

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

void hotkeyStep(HWND mainWindow, const unsigned char pressed[256]) {
    Settings& s = processSettings();
    Stopwatch& sw = processStopwatch();
    if (!hotkeyStepAllowed(sw.state.optionsOpen.load(), sharedLoad(s.BackGround), mainWindow, foregroundWindow)) return;
    std::int32_t codes[5];
    for (int i = 0; i < 5; ++i) codes[i] = sharedLoad(s.keyBindings[i].code);
    StopwatchCommand commands[5];
    const int count = hotkeyCommands(pressed, codes, commands);
    // Each command's guard sees the ones applied before it.
    for (int i = 0; i < count; ++i) applyCommand(sw, commands[i], sharedLoad(s.LapTime));
}

}  // namespace

void runPollerCycle(HWND mainWindow) {
    std::memcpy(previousKeys, currentKeys, sizeof previousKeys);
    readKeyboardState(currentKeys);
    // Room for two full buffers: a drain never leaves events behind.
    KeyEvent events[2 * keyboardBufferSize];
    const int count = readKeyboardEvents(events, 2 * keyboardBufferSize);
    unsigned char pressed[256];
    keysPressedSince(previousKeys, currentKeys, events, count, pressTaken, pressed);
    dragStep(mainWindow);
    hotkeyStep(mainWindow, pressed);
    InvalidateRect(mainWindow, nullptr, FALSE);
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
        Sleep(90);
    }
}
