// The DirectInput keyboard: the whole keyboard's state, whichever program has
// the focus.
#pragma once

#define DIRECTINPUT_VERSION 0x0500
#include <windows.h>
// after windows.h
#include <dinput.h>

#include <atomic>

struct KeyboardDevice {
    IDirectInputA* directInput;
    IDirectInputDeviceA* unusedDevice;
    IDirectInputDeviceA* keyboard;
    IDirectInputDeviceA* unusedDevices[4];
    unsigned char firstBlock[580];
    unsigned char secondBlock[580];
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
int readKeyboardState(unsigned char* buffer);

void releaseKeyboardDevice(KeyboardDevice* device);

// The text of the second error box: the result in lower-case hex.
void formatDirectInputResult(HRESULT result, char* out, int capacity);
