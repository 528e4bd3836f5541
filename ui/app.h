// The program's life: start-up, message loop, shut-down. WinMain is these
// three calls; tests make them too.
#pragma once

#include <windows.h>

// Start-up up to the message loop. 0 when Morvi cannot run: no winmm.dll in
// the system folder (a message says so), or no main window.
int startMorvi(HINSTANCE instance);

// One message through the loop's routing: the options dialog first.
void routeMessage(MSG& message);

// Runs until the quit message; returns its wParam.
int runMessageLoop();

// Waits for the hotkey poller, then releases the keyboard, the back buffer and
// the records.
void finishMorvi();
