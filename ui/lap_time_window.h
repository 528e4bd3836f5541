// The lap-time window: the lap report in a read-only text box.
#pragma once

#include <windows.h>

INT_PTR CALLBACK lapTimeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Rebuilds the report into the window's text box while the window is shown.
// Installed as the engine's
// lap-report sink, so it also runs on the poller thread: it reads only atomic
// words and sends the text to the GUI thread's window.
void refreshLapTimeWindow(void* context);
