// The second thread: polls the keyboard about every 90 ms, drags the main
// window, turns new hotkey presses into commands and requests a repaint.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "keyboard_device.h"
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

// The poller's two snapshots, and per key code 1 while the key's latest
// buffered key-down has been taken (acted on or dropped) and no snapshot has
// seen the key up since. Only the poller thread touches them.
extern unsigned char previousKeys[256];
extern unsigned char currentKeys[256];
extern unsigned char pressTaken[256];

// A code that went down between the two snapshots. Codes outside 1..255 never do.
bool isNewPressBetween(const unsigned char* previous, const unsigned char* current, std::int32_t code);
bool isNewPress(std::int32_t code);

// The keys that went down since the previous cycle, as bit 7 of `pressed`: a
// buffered key-down among this cycle's `events`, or a bit that went from up
// to down between the snapshots, unless that press's key-down event was
// already taken in an earlier cycle. Updates `taken`. Runs every cycle, also
// when no hotkeys act, so that a press made then is dropped for good.
void keysPressedSince(const unsigned char* previous, const unsigned char* current, const KeyEvent* events, int count,
                      unsigned char taken[256], unsigned char pressed[256]);

// Which commands one cycle applies, in the order Start, Stop, Reset, Lap, Next:
// those whose binding code was pressed, each at most once. Returns how many
// went into `out`.
int hotkeyCommands(const unsigned char pressed[256], const std::int32_t codes[5], StopwatchCommand out[5]);

// Whether hotkeys act this cycle: never while the options dialog is open
// (optionsOpen not 0); with BackGround exactly 1 only while the main window is
// in front. `foreground` is asked only in that case.
bool hotkeyStepAllowed(std::int32_t optionsOpen, std::int32_t backGround, HWND mainWindow, HWND (*foreground)());

// One cycle's steps after the keyboard wait: snapshot, drag, hotkeys, repaint.
void runPollerCycle(HWND mainWindow);

DWORD WINAPI runHotkeyPoller(LPVOID mainWindow);
