#include "input/hotkey_poller.h"

#include <cstring>
#include <type_traits>

#include "input/keyboard_device.h"
#include "platform/system_libraries.h"
#include "settings/settings.h"

DragState dragState;
unsigned char previousKeys[256];
unsigned char currentKeys[256];
PressTracker pressTracker;
HANDLE hotkeyPollerWake = nullptr;

void wakeHotkeyPoller() {
    if (hotkeyPollerWake) SetEvent(hotkeyPollerWake);
}

bool hotkeyStepAllowed(std::int32_t optionsOpen, std::int32_t backGround, HWND mainWindow, HWND (*foreground)()) {
    if (optionsOpen != 0) return false;
    return backGround != 1 || foreground() == mainWindow;
}

namespace {

// The fallback cycle's period, as the keyboard was read before it had events.
constexpr DWORD cycleMs = 90;
constexpr DWORD dragStepMs = 20;
constexpr DWORD lossCheckMs = 1000;
// After a wake that found nothing: a driver that signals without events must
// not keep the thread reading.
constexpr DWORD emptyWakePauseMs = 5;

// Poller thread only.
struct Poller {
    HWND window;
    // 1 from an overflow or a failed read until a cycle read a fresh snapshot
    // and every event: until then a snapshot tells what events may have missed.
    // The first cycle takes a snapshot: a key already down counts.
    std::int32_t eventsLost = 1;
};

bool quitting() { return processStopwatch().state.quitRequested.load() == 1; }
bool dragging() { return dragState.dragging.load() == 1; }

// How long the poller waits before it looks again without being woken: a
// drag step every 20 ms; the next fallback cycle; else a read a second, to
// notice a keyboard lost without a signal.
DWORD pollerTimeout(bool fallback, DWORD untilNextCycle) {
    const DWORD plain = fallback ? untilNextCycle : lossCheckMs;
    return dragging() && dragStepMs < plain ? dragStepMs : plain;
}

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

// Applies a drain's hotkeys when they may act, and has the display repainted
// when a command was applied. Each command's guard sees the ones before it.
void applyHotkeys(HWND mainWindow, const KeyPresses& presses) {
    Settings& s = processSettings();
    Stopwatch& sw = processStopwatch();
    std::int32_t codes[5];
    for (int i = 0; i < 5; ++i) codes[i] = sharedLoad(s.keyBindings[i].code);
    HotkeyCommand commands[maxHotkeyCommands];
    const int count = hotkeyCommands(presses, codes, commands);
    if (count == 0) return;
    if (!hotkeyStepAllowed(sw.state.optionsOpen.load(), sharedLoad(s.BackGround), mainWindow, foregroundWindow)) return;
    for (int i = 0; i < count; ++i) {
        const HotkeyCommand& c = commands[i];
        if (c.timed == 1)
            applyCommandAt(sw, c.command, sharedLoad(s.LapTime), c.tick);
        else
            applyCommand(sw, c.command, sharedLoad(s.LapTime));
    }
    InvalidateRect(mainWindow, nullptr, FALSE);
}

// The 90 ms cycle of snapshots: without a buffer or its notification, and
// while events may have been lost.
bool inFallback(const Poller& p) {
    const KeyboardDevice* device = keyboardDevice.load();
    return p.eventsLost == 1 || device->buffered != 1 || device->inputEvent == nullptr;
}

bool drainedWhole(const DrainResult& drained) { return drained.failed == 0 && drained.overflow == 0; }

// Every buffered event is drained, always, so that a press made while hotkeys
// are blocked is dropped for good; the hotkeys it holds act. `fresh`: this
// drain comes with a new snapshot in currentKeys.
DrainResult drainAndApply(Poller& p, std::int32_t fresh, const WakeTimes& wake) {
    KeyEvent events[maxDrainedEvents];
    const DrainResult drained = readKeyboardEvents(events, maxDrainedEvents, wake);
    const std::int32_t clean = p.eventsLost == 0 && drainedWhole(drained) ? 1 : 0;
    KeyPresses presses;
    collectKeyPresses(previousKeys, currentKeys, fresh, clean, events, drained.count, pressTracker, presses);
    applyHotkeys(p.window, presses);
    return drained;
}

// The fallback cycle: a snapshot, then the events. Events are waited for
// again once a cycle has read both whole. A read the keyboard refuses
// acquires it again (readKeyboardState).
void runPollerCycle(Poller& p) {
    std::memcpy(previousKeys, currentKeys, sizeof previousKeys);
    // A failed read leaves currentKeys as it was: its snapshot says nothing new.
    const std::int32_t fresh = readKeyboardState(currentKeys);
    const DrainResult drained = drainAndApply(p, fresh, WakeTimes{0, GetTickCount()});
    p.eventsLost = fresh == 1 && drainedWhole(drained) ? 0 : 1;
}

// A wake on the keyboard's event: its key presses act now. A failed read or
// an overflow hands over to the fallback cycle.
DrainResult runPollerWake(Poller& p, const WakeTimes& wake) {
    const DrainResult drained = drainAndApply(p, 0, wake);
    if (!drainedWhole(drained)) p.eventsLost = 1;
    return drained;
}

// Waits on the poller's own event (and the keyboard's, when given); the index
// of what woke it, or WAIT_TIMEOUT. `blocked` tells whether it had to wait.
DWORD waitFor(HANDLE input, DWORD timeoutMs, std::int32_t& blocked) {
    HANDLE handles[2];
    DWORD n = 0;
    if (hotkeyPollerWake) handles[n++] = hotkeyPollerWake;
    const DWORD inputIndex = n;
    if (input) handles[n++] = input;
    if (n == 0) {
        Sleep(timeoutMs);
        blocked = 1;
        return WAIT_TIMEOUT;
    }
    DWORD r = WaitForMultipleObjects(n, handles, FALSE, 0);
    blocked = r == WAIT_TIMEOUT ? 1 : 0;
    if (r == WAIT_TIMEOUT) r = WaitForMultipleObjects(n, handles, FALSE, timeoutMs);
    if (r == WAIT_OBJECT_0 + inputIndex && input) return 1;
    return r == WAIT_TIMEOUT ? WAIT_TIMEOUT : 0;
}

// Between fallback cycles only the poller's own event wakes it: a keyboard
// that is lost would signal at every try.
bool waitForNextCycle(Poller& p) {
    const DWORD due = systemTime() + cycleMs;
    for (;;) {
        const std::int32_t left = static_cast<std::int32_t>(due - systemTime());
        if (left <= 0) return true;
        std::int32_t blocked = 0;
        waitFor(nullptr, pollerTimeout(true, static_cast<DWORD>(left)), blocked);
        if (quitting()) return false;
        dragStep(p.window);
    }
}

bool waitForInput(Poller& p) {
    const HANDLE input = keyboardDevice.load()->inputEvent;
    std::int32_t blocked = 0;
    const DWORD woken = waitFor(input, pollerTimeout(false, 0), blocked);
    if (quitting()) return false;
    const WakeTimes wake{blocked, GetTickCount()};
    if (woken == 1) {
        const DrainResult drained = runPollerWake(p, wake);
        if (drained.count == 0 && drained.failed == 0) {
            waitFor(nullptr, emptyWakePauseMs, blocked);
            if (quitting()) return false;
        }
    } else if (woken == WAIT_TIMEOUT && !dragging()) {
        runPollerWake(p, wake);
    }
    dragStep(p.window);
    return true;
}

}  // namespace

// A thread procedure: the calling convention only the 32-bit program checks.
static_assert(std::is_same_v<decltype(&runHotkeyPoller), LPTHREAD_START_ROUTINE>);

DWORD WINAPI runHotkeyPoller(LPVOID mainWindow) {
    Poller p{static_cast<HWND>(mainWindow)};
    // The keyboard is published once, after the window's creation and any
    // error boxes. Without it (the record could not be made) the thread
    // still ends at quit.
    while (keyboardDevice.load() == nullptr) {
        if (quitting()) return 0;
        std::int32_t blocked = 0;
        waitFor(nullptr, 5, blocked);
    }
    for (;;) {
        if (quitting()) return 0;
        if (inFallback(p)) {
            runPollerCycle(p);
            if (inFallback(p) && !waitForNextCycle(p)) return 0;
        } else if (!waitForInput(p)) {
            return 0;
        }
    }
}
