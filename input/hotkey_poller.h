// The second thread: polls the keyboard about every 90 ms, drags the main
// window, turns new hotkey presses into commands and requests a repaint.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "stopwatch.h"

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

// The poller's two snapshots; only the poller thread touches them.
extern unsigned char previousKeys[256];
extern unsigned char currentKeys[256];

// A code that went down between the two snapshots. Codes outside 1..255 never do.
bool isNewPressBetween(const unsigned char* previous, const unsigned char* current, std::int32_t code);
bool isNewPress(std::int32_t code);

// Which commands one cycle applies, in the order Start, Stop, Reset, Lap, Next:
// those whose binding code is a new press. Returns how many went into `out`.
int hotkeyCommands(const unsigned char* previous, const unsigned char* current, const std::int32_t codes[5],
                   StopwatchCommand out[5]);

// Whether hotkeys act this cycle: never while the options dialog is open
// (optionsOpen not 0); with BackGround exactly 1 only while the main window is
// in front. `foreground` is asked only in that case.
bool hotkeyStepAllowed(std::int32_t optionsOpen, std::int32_t backGround, HWND mainWindow, HWND (*foreground)());

// One cycle's steps after the keyboard wait: snapshot, drag, hotkeys, repaint.
void runPollerCycle(HWND mainWindow);

DWORD WINAPI runHotkeyPoller(LPVOID mainWindow);
