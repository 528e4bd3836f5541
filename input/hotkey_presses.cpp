#include "hotkey_presses.h"

#include <cstring>

namespace {

// A hand-edited code outside the snapshot would index past it: no key.
bool isKeyCode(std::int32_t code) { return code > 0 && code <= 255; }

constexpr StopwatchCommand tableOrder[5] = {StopwatchCommand::Start, StopwatchCommand::Stop, StopwatchCommand::Reset,
                                            StopwatchCommand::Lap, StopwatchCommand::Next};

}  // namespace

Tick eventTick(std::uint32_t stamp, std::uint32_t tickCountAtDrain, Tick now) {
    const std::int32_t age = static_cast<std::int32_t>(tickCountAtDrain - stamp);
    return age < 0 ? now : now - static_cast<Tick>(age);
}

bool isNewPressBetween(const unsigned char* previous, const unsigned char* current, std::int32_t code) {
    if (!isKeyCode(code)) return false;
    return (current[code] & 0x80) != 0 && (previous[code] & 0x80) == 0;
}

void collectKeyPresses(const unsigned char* previous, const unsigned char* current, std::int32_t snapshotFresh,
                       const KeyEvent* events, int count, unsigned char taken[256], KeyPresses& out) {
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
            if ((current[code] & 0x80) == 0) taken[code] = 0;
            if (edge && !hasDown[code]) {
                out.edges[code] = 0x80;
                taken[code] = 1;
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        const KeyEvent e = events[i];
        if (e.down == 0) {
            taken[e.code] = 0;
        } else if (taken[e.code] == 0) {
            taken[e.code] = 1;
            if (out.count < maxDrainedEvents) out.downs[out.count++] = e;
        }
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
