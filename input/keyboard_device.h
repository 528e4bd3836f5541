// The DirectInput keyboard: the whole keyboard's state, whichever program has
// the focus.
#pragma once

#define DIRECTINPUT_VERSION 0x0500
#include <windows.h>
// after windows.h
#include <dinput.h>

#include <atomic>
#include <cstdint>

#include "hotkey_presses.h"

struct KeyboardDevice {
    IDirectInputA* directInput;
    IDirectInputDeviceA* unusedDevice;
    IDirectInputDeviceA* keyboard;
    IDirectInputDeviceA* unusedDevices[4];
    unsigned char firstBlock[580];
    unsigned char secondBlock[580];
    // 1 when the device keeps a buffer of key events (set at creation).
    std::int32_t buffered;
    // Set by the device on every key event (auto-reset), so the poller can
    // wake on input; null when the device would not take it. Owned here,
    // closed by releaseKeyboardDevice.
    HANDLE inputEvent;
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
// A failing read shows its two boxes once, then stays silent until a read
// succeeds again. Called by the poller and by the options dialog.
int readKeyboardState(unsigned char* buffer);

// Drains the key events buffered since the last drain, oldest first, into
// `out`, each with its own tick (timeGetTime's base); returns how many. 0
// without a buffer or when the read fails (lost input re-acquires the
// device). Poller thread only.
int readKeyboardEvents(KeyEvent* out, int capacity);

// Waits up to `timeoutMs` for a key event; 1 when one came. Without the
// device's notification it just sleeps. Poller thread only.
int waitForKeyboardInput(DWORD timeoutMs);

// Shows the error boxes; replaceable so that tests can count them.
extern int(WINAPI* keyboardMessageBox)(HWND, LPCSTR, LPCSTR, UINT);

void releaseKeyboardDevice(KeyboardDevice* device);

// The text of the second error box: the result in lower-case hex.
void formatDirectInputResult(HRESULT result, char* out, int capacity);
