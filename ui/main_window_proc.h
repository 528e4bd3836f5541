// The main window procedure and the process-wide handles it keeps.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "engine/stopwatch.h"
#include "engine/time_texts.h"

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// GUI thread only.
extern HWND previousForeground;
extern HMENU popupMenu;
extern HWND optionsDialog;
// Read by the poller thread's lap-report refresh: an atomic handle.
extern std::atomic<HWND> lapTimeWindow;
// The poller thread, kept so the entry point can wait for it before it
// releases the keyboard.
extern HANDLE hotkeyPollerThread;

// The display's one-shot timer: armed after every paint for the moment the
// picture next changes, killed when nothing will change. GUI thread only.
inline constexpr UINT_PTR displayTimerId = 0x4D56;
extern std::int32_t displayTimerArmed;
extern Tick displayTimerDue;

// What a WM_COMMAND id does; the decision behind the command dispatch.
struct CommandAction {
    enum Kind { Ignore, Apply, Options, ShowLapTimes, Exit } kind;
    StopwatchCommand command;
    bool handBackFocus;  // after Start, Lap and Next, when Focus is 1
};
CommandAction commandForId(int id);

// The four settings the time texts read, taken from the settings record.
TextSettings currentTextSettings();

// Whether creation moves the window to the saved rectangle: one with a size
// (all zero: none was saved) that lies at least partly on some monitor.
bool savedRectUsable(const RECT& r);

// Client height left for the display when Button is exactly 1.
int displayBottom(int clientBottom);
