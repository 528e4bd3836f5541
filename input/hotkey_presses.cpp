#include "input/hotkey_presses.h"

#include <cstring>

namespace {

// A hand-edited code outside the snapshot would index past it: no key.
bool isKeyCode(std::int32_t code) { return code > 0 && code <= 255; }

constexpr StopwatchCommand tableOrder[5] = {StopwatchCommand::Start, StopwatchCommand::Stop, StopwatchCommand::Reset,
                                            StopwatchCommand::Lap, StopwatchCommand::Next};

}  // namespace

Tick eventTick(std::uint32_t stamp, const DrainClock& clock) {
    // Every comparison is of differences, across the counter's wrap.
    const auto before = [](std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) < 0; };
    const std::int32_t age = static_cast<std::int32_t>(clock.tickCount - stamp);
    if (age < 0) return clock.now;
    if (clock.readBefore == 1 && before(stamp, clock.previousRead)) return clock.now;
    if (clock.waitBlocked == 1 && static_cast<std::int32_t>(clock.wake - stamp) > 1000) return clock.now;
    return clock.now - static_cast<Tick>(age);
}

bool isNewPressBetween(const unsigned char* previous, const unsigned char* current, std::int32_t code) {
    if (!isKeyCode(code)) return false;
    return (current[code] & 0x80) != 0 && (previous[code] & 0x80) == 0;
}

void collectKeyPresses(const unsigned char* previous, const unsigned char* current, std::int32_t snapshotFresh,
                       std::int32_t eventsClean, const KeyEvent* events, int count, PressTracker& tracker,
                       KeyPresses& out) {
    unsigned char* taken = tracker.taken;
    out.count = 0;
    std::memset(out.edges, 0, sizeof out.edges);
    if (snapshotFresh != 0) {
        // The snapshot is read just before the drain, so a key-down it sees
        // has its event in this drain, unless the buffer lost it.
        bool hasDown[256] = {};
        for (int i = 0; i < count; ++i)
            if (events[i].down != 0) hasDown[events[i].code] = true;
        for (int code = 1; code < 256; ++code) {
            const bool edge = isNewPressBetween(previous, current, code) && taken[code] == 0;
            if (eventsClean != 1 && (current[code] & 0x80) == 0) taken[code] = 0;
            if (edge && !hasDown[code]) {
                out.edges[code] = 0x80;
                taken[code] = 1;
            }
        }
    }
    const auto within = [](std::uint32_t later, std::uint32_t earlier, std::uint32_t ms) {
        const std::int32_t gap = static_cast<std::int32_t>(later - earlier);
        return gap >= 0 && static_cast<std::uint32_t>(gap) < ms;
    };
    for (int i = 0; i < count; ++i) {
        const KeyEvent e = events[i];
        if (e.down == 0) {
            taken[e.code] = 0;
            tracker.upSeen[e.code] = 1;
            tracker.lastUp[e.code] = e.stamp;
            continue;
        }
        const bool bounce =
            (tracker.downSeen[e.code] == 1 && within(e.stamp, tracker.lastDown[e.code], bounceAfterDownMs)) ||
            (tracker.upSeen[e.code] == 1 && within(e.stamp, tracker.lastUp[e.code], bounceAfterUpMs));
        tracker.downSeen[e.code] = 1;
        tracker.lastDown[e.code] = e.stamp;
        if (taken[e.code] == 0 && !bounce && out.count < maxDrainedEvents) out.downs[out.count++] = e;
        taken[e.code] = 1;
    }
}

int hotkeyCommands(const KeyPresses& presses, const std::int32_t codes[5], HotkeyCommand out[maxHotkeyCommands]) {
    int n = 0;
    for (int p = 0; p < presses.count; ++p)
        for (int i = 0; i < 5; ++i)
            if (isKeyCode(codes[i]) && codes[i] == presses.downs[p].code)
                out[n++] = HotkeyCommand{tableOrder[i], 1, presses.downs[p].tick};
    for (int i = 0; i < 5; ++i)
        if (isKeyCode(codes[i]) && (presses.edges[codes[i]] & 0x80) != 0) out[n++] = HotkeyCommand{tableOrder[i], 0, 0};
    return n;
}
