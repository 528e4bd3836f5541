// A key press or release through SendInput, by DirectInput key code: what
// DirectInput then reports exactly as for a real key.
#pragma once

#include <windows.h>

void sendKeyEvent(WORD code, bool up);

// `taps` presses of a key, each held `holdMs`, with irregular gaps of 60 to
// 170 ms so that they fall at every phase of the poll cycle. `pump` handles
// the caller's messages for a while.
void tapKey(WORD code, int taps, DWORD holdMs, void (*pump)(DWORD ms));

// A left click into a control, posted as the mouse would (the caller lets
// the window's thread handle it).
void postClick(HWND control);
