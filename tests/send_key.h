// A key press or release through SendInput, by DirectInput key code: what
// DirectInput then reports exactly as for a real key.
#pragma once

#include <windows.h>

void sendKeyEvent(WORD code, bool up);
