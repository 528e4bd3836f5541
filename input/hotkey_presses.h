// Which hotkey commands a drain of the keyboard fires, in which order and at
// which ticks. Portable: the poller thread feeds it its snapshots and the
// buffered key events, and applies what comes out.
#pragma once

#include <cstdint>

#include "stopwatch.h"

// One buffered key event: the key's code, whether it went down, and when, on
// the stopwatch's tick base.
struct KeyEvent {
    std::uint8_t code;
    std::uint8_t down;
    Tick tick;
};

// Key events the device keeps between two drains; a drain takes up to two
// buffers' worth, so that it never leaves events behind.
inline constexpr int keyboardBufferSize = 64;
inline constexpr int maxDrainedEvents = 2 * keyboardBufferSize;

// An event's tick from its device stamp (GetTickCount's base): its age, the
// tick count at the drain less the stamp, taken from `now`. An age below 0
// (the two counters drift apart by a few ms) counts as 0.
Tick eventTick(std::uint32_t stamp, std::uint32_t tickCountAtDrain, Tick now);

// A code that went down between two snapshots. Codes outside 1..255 never do.
bool isNewPressBetween(const unsigned char* previous, const unsigned char* current, std::int32_t code);

// What one drain found: each key-down that has an event, oldest first, and
// the keys that only the snapshots saw go down (no buffer, an overflow, lost
// input).
struct KeyPresses {
    int count;
    KeyEvent downs[maxDrainedEvents];
    unsigned char edges[256];  // bit 7 set: pressed, seen by the snapshots only
};

// Every key-down counts once, whether its event or a snapshot sees it first:
// `taken` (per code, kept by the caller across drains) is 1 from a counted
// key-down until the key is seen up. `snapshotFresh` is 0 for a drain without
// a new snapshot (a wake, or a failed read); its snapshots are then not used.
void collectKeyPresses(const unsigned char* previous, const unsigned char* current, std::int32_t snapshotFresh,
                       const KeyEvent* events, int count, unsigned char taken[256], KeyPresses& out);

// One command to apply: at the press's own tick (timed 1) or at now (timed 0).
struct HotkeyCommand {
    StopwatchCommand command;
    std::int32_t timed;
    Tick tick;
};
inline constexpr int maxHotkeyCommands = 5 * (maxDrainedEvents + 5);

// The commands of a drain in the order they act: key-down by key-down, each
// key's bindings in the order Start, Stop, Reset, Lap, Next; then the
// snapshot-only presses, in that order too. Returns how many went into `out`.
int hotkeyCommands(const KeyPresses& presses, const std::int32_t codes[5], HotkeyCommand out[maxHotkeyCommands]);
