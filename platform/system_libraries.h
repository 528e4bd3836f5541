// winmm.dll and dinput.dll are not KnownDLLs: named in the import table,
// Windows would look for them in the program's own folder first, where any
// planted copy would run inside Morvi. They are loaded here instead, by their
// full path in the system folder, and their functions taken by name.
#pragma once

#define DIRECTINPUT_VERSION 0x0500
#include <windows.h>
// after windows.h
#include <dinput.h>

// Makes every later DLL load (the common dialogs' included) search the system
// folder only, where kernel32 can (Windows 8, or 7 with its update). First
// thing at start-up.
void restrictDllSearchToSystemFolder();

// A DLL by its full path in the system folder, with its own dependencies
// from there too; null (GetLastError tells why) when it cannot be loaded.
HMODULE loadFromSystemFolder(const wchar_t* name);

// A function of a loaded module by name, as its own type; null when missing.
template <typename F>
F systemEntry(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Loads winmm.dll from the system folder and takes its two functions; false
// (GetLastError tells why) when it cannot. Before any window: the poller
// thread reads the clock it gives.
bool loadWinmm();

// Loads dinput.dll from the system folder and creates the DirectInput object;
// when the DLL or its function is missing, HRESULT_FROM_WIN32 of the reason.
HRESULT systemDirectInputCreate(HINSTANCE instance, DWORD version, IDirectInputA** out);

// Turns the input method off for a window that takes no text: a key pressed
// there starts no composition. imm32.dll from the system folder; nothing
// where it is missing.
void disableInputMethod(HWND window);

// timeGetTime and joySetCapture of the loaded winmm.dll. Set once by
// loadWinmm before the poller thread starts; read-only afterwards.
DWORD systemTime();
UINT systemJoySetCapture(HWND window, UINT joystick, UINT period, BOOL changed);
