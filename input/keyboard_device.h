// The DirectInput keyboard: the whole keyboard's state, whichever program has
// the focus.
#pragma once

#define DIRECTINPUT_VERSION 0x0500
#include <windows.h>
// after windows.h
#include <dinput.h>

#include <atomic>
#include <cstdint>

#include "input/hotkey_presses.h"

struct KeyboardDevice {
    IDirectInputA* directInput;
    IDirectInputDeviceA* keyboard;
    // 1 when the device keeps a buffer of key events (set at creation).
    std::int32_t buffered;
    // Set by the device on every key event and when its input is lost
    // (auto-reset), so the poller can wait for input; null when the device
    // would not take it. Owned here, closed by releaseKeyboardDevice.
    HANDLE inputEvent;
    // When the buffered events were last read (GetTickCount, just before the
    // read): a stamp older than that cannot be true. Poller thread only.
    std::int32_t readBefore;
    std::uint32_t previousRead;
};

// Published once by the GUI thread after creation; the poller waits for it and
// reads through it, so it is an atomic pointer.
extern std::atomic<KeyboardDevice*> keyboardDevice;

// Stored by the entry point before createKeyboardDevice: the instance for
// DirectInputCreateA, the window for the cooperative level and error boxes.
extern HINSTANCE keyboardInstance;
extern HWND keyboardWindow;

// Runs the creation sequence on a fresh record; each failed step shows its two
// "DirectInput ERROR" boxes and destroys the main window.
KeyboardDevice* createKeyboardDevice(KeyboardDevice* device);

// 1 with a fresh 256-byte snapshot in `buffer`, else 0 and the buffer untouched.
// Input lost, or the keyboard held by another program (a UAC prompt, the
// secure desktop) is a passing state: the device is acquired again, silently.
// Any other failing read shows its two boxes once, then stays silent until a
// read succeeds again. Called by the poller and by the options dialog.
int readKeyboardState(unsigned char* buffer);

// What one drain of the buffered key events found.
struct DrainResult {
    int count;
    std::int32_t overflow;  // 1: the buffer dropped events since the last drain
    std::int32_t failed;    // 1: the read failed (no buffer, input lost, ...)
};

// How the poller came to drain: whether its wait blocked, and when it returned.
struct WakeTimes {
    std::int32_t blocked;
    std::uint32_t wake;  // GetTickCount
};

// Drains the key events buffered since the last drain, oldest first, into
// `out`, each with its own tick (timeGetTime's base; a stamp that cannot be
// true gives the drain's tick). A failed read does not acquire the device:
// the poller's fallback cycle does. Poller thread only.
DrainResult readKeyboardEvents(KeyEvent* out, int capacity, const WakeTimes& wake);

// Shows the error boxes; replaceable so that tests can count them.
extern int(WINAPI* keyboardMessageBox)(HWND, LPCWSTR, LPCWSTR, UINT);

void releaseKeyboardDevice(KeyboardDevice* device);

// The text of the second error box: the result in lower-case hex.
void formatDirectInputResult(HRESULT result, char* out, int capacity);
