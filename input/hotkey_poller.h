// The second thread: polls the keyboard about every 90 ms, drags the main
// window, turns new hotkey presses into commands and requests a repaint; in
// between it wakes on key events, so a hotkey acts the moment it goes down.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "hotkey_presses.h"
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

// The poller's two snapshots, and per key code 1 from a counted key-down
// until the key is seen up (see collectKeyPresses). Only the poller thread
// touches them.
extern unsigned char previousKeys[256];
extern unsigned char currentKeys[256];
extern unsigned char pressTaken[256];

// A code that went down between previousKeys and currentKeys.
bool isNewPress(std::int32_t code);

// Whether hotkeys act this cycle: never while the options dialog is open
// (optionsOpen not 0); with BackGround exactly 1 only while the main window is
// in front. `foreground` is asked only in that case.
bool hotkeyStepAllowed(std::int32_t optionsOpen, std::int32_t backGround, HWND mainWindow, HWND (*foreground)());

// One regular cycle's steps after the keyboard wait: snapshot, drain, drag,
// hotkeys, repaint.
void runPollerCycle(HWND mainWindow);

// Between cycles, on a key event: drain and apply the hotkeys it holds; the
// display is repainted at once when a command was applied.
void runPollerWake(HWND mainWindow);

DWORD WINAPI runHotkeyPoller(LPVOID mainWindow);
