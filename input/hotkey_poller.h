// The second thread: turns hotkey presses into commands the moment the
// keyboard reports them, and drags the main window. It sleeps while nothing
// happens: it waits for key events, and falls back to reading the keyboard
// every 90 ms only where events cannot be had or trusted.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "engine/stopwatch.h"
#include "input/hotkey_presses.h"
#include "input/keyboard_device.h"

// The drag of the main window, set by the window procedure on mouse messages
// and used by the poller. Each field is an atomic word: one thread writes it
// while the other polls it, and no lock is involved.
struct DragState {
    std::atomic<std::int32_t> dragging{0};
    std::atomic<std::int32_t> movedWhileHeld{0};
    std::atomic<std::int32_t> clickInProgress{0};
    std::atomic<LONG> lastCursorX{0};
    std::atomic<LONG> lastCursorY{0};
};
extern DragState dragState;

// The poller's two snapshots and what it knows of each key across drains.
// Only the poller thread touches them.
extern unsigned char previousKeys[256];
extern unsigned char currentKeys[256];
extern PressTracker pressTracker;

// The poller's own event (auto-reset): the GUI thread sets it when Morvi
// quits, so that the thread ends at once, and when a drag starts. Made with
// the thread by the main window's creation, closed by the entry point after
// the thread has ended.
extern HANDLE hotkeyPollerWake;
void wakeHotkeyPoller();

// Whether hotkeys act: never while the options dialog is open (optionsOpen
// not 0); with BackGround exactly 1 only while the main window is in front.
// `foreground` is asked only in that case.
bool hotkeyStepAllowed(std::int32_t optionsOpen, std::int32_t backGround, HWND mainWindow, HWND (*foreground)());

DWORD WINAPI runHotkeyPoller(LPVOID mainWindow);
