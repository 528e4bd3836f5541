// Which hotkey commands a drain of the keyboard fires, in which order and at
// which ticks. Portable: the poller thread feeds it its snapshots and the
// buffered key events, and applies what comes out.
#pragma once

#include <cstdint>

#include "engine/stopwatch.h"

// One buffered key event: the key's code, whether it went down, its device
// stamp (GetTickCount's base) and when, on the stopwatch's tick base.
struct KeyEvent {
    std::uint8_t code;
    std::uint8_t down;
    std::uint32_t stamp;
    Tick tick;
};

// Key events the device keeps between two drains; a drain takes up to two
// buffers' worth, so that it never leaves events behind.
inline constexpr int keyboardBufferSize = 64;
inline constexpr int maxDrainedEvents = 2 * keyboardBufferSize;

// What a drain's stamps are judged by, on GetTickCount's base but for `now`.
struct DrainClock {
    std::uint32_t tickCount;     // right after the read
    Tick now;                    // timeGetTime then
    std::int32_t readBefore;     // 1: the device was read before, at previousRead
    std::uint32_t previousRead;  // taken just before that read began
    std::int32_t waitBlocked;    // 1: the poller's wait blocked before this wake
    std::uint32_t wake;          // when the wait returned
};

// An event's tick from its stamp: its age (the tick count at the drain less
// the stamp) taken from `now`. A stamp that cannot be true is not used, and
// the event is timed at the drain: one later than the drain, one earlier than
// the previous read (the event was not there then), or, after a wait that
// blocked, one more than a second before the wake (it would have woken the
// poller then).
Tick eventTick(std::uint32_t stamp, const DrainClock& clock);

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

// Per key code, what earlier drains saw; kept by the caller across drains.
struct PressTracker {
    unsigned char taken[256];  // 1 from a counted key-down until the key is seen up
    unsigned char downSeen[256], upSeen[256];
    std::uint32_t lastDown[256], lastUp[256];  // stamps of the last key-down and key-up events
};

// A switch that bounces goes down again within a few ms, at the press and at
// the release: a key-down this soon after the key's last key-down or key-up
// (by their stamps) belongs to the same press.
inline constexpr std::uint32_t bounceAfterDownMs = 30;
inline constexpr std::uint32_t bounceAfterUpMs = 20;

// Every press counts once, whether its event or a snapshot sees it first.
// `snapshotFresh` is 0 for a drain without a new snapshot (a wake, or a
// failed read); its snapshots are then not used. `eventsClean` is 1 when no
// event can have been lost since the previous good snapshot (a buffer, no
// overflow, no failed read): then only key-up events clear `taken`, since a
// snapshot may see a key up before its key-down event is queued.
void collectKeyPresses(const unsigned char* previous, const unsigned char* current, std::int32_t snapshotFresh,
                       std::int32_t eventsClean, const KeyEvent* events, int count, PressTracker& tracker,
                       KeyPresses& out);

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
