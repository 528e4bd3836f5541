#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hotkey_presses.h"
#include "test_support.h"

namespace {

const Keys up;
const Keys f1 = Keys().down(0x3B);
constexpr std::uint8_t F1 = 0x3B, F2 = 0x3C, F4 = 0x3E;
const std::int32_t fKeys[5] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F};  // F1..F5: Start, Stop, Reset, Lap, Next

KeyEvent down(std::uint8_t code, Tick tick = 0) { return KeyEvent{code, 1, tick}; }
KeyEvent release(std::uint8_t code) { return KeyEvent{code, 0, 0}; }

// One drain's commands as text, "Lap@100 Stop@now"; `taken` carries over
// between the drains of one test.
struct Poller {
    unsigned char taken[256] = {};
    std::string drain(const Keys& previous, const Keys& current, std::vector<KeyEvent> events = {},
                      const std::int32_t* codes = fKeys, std::int32_t fresh = 1) {
        KeyPresses presses;
        collectKeyPresses(previous.bytes, current.bytes, fresh, events.data(), static_cast<int>(events.size()), taken,
                          presses);
        HotkeyCommand out[maxHotkeyCommands];
        const int n = hotkeyCommands(presses, codes, out);
        static const char* const names[] = {"Start", "Stop", "Reset", "Lap", "Next"};
        std::string text;
        for (int i = 0; i < n; ++i) {
            if (!text.empty()) text += ' ';
            text += names[static_cast<int>(out[i].command)];
            text += '@';
            text += out[i].timed == 1 ? std::to_string(out[i].tick) : std::string("now");
        }
        return text;
    }
};

TEST(HotkeyPresses, SnapshotEdgesFireOnlyForKeysThatWentDown) {
    Poller p;
    // The first cycle compares with an all-zero snapshot: a key already down fires.
    EXPECT_EQ(p.drain(up, f1), "Start@now");
    EXPECT_EQ(p.drain(f1, f1), "");  // held
    EXPECT_EQ(p.drain(f1, up), "");  // released
    Keys low, high;
    low.bytes[F1] = 0x7F;  // only bit 7 counts
    high.bytes[F1] = 0x81;
    EXPECT_EQ(p.drain(up, low), "");
    EXPECT_EQ(p.drain(high, f1), "");
    // A read that failed: its snapshots say nothing.
    EXPECT_EQ(Poller().drain(up, f1, {}, fKeys, 0), "");
}

TEST(HotkeyPresses, KeyDownsActInEventOrderAtTheirOwnTicks) {
    Poller p;
    // Lap then Stop within one drain keeps the lap; Stop then Start resumes.
    EXPECT_EQ(p.drain(up, up, {down(F4, 100), release(F4), down(F2, 120), release(F2)}), "Lap@100 Stop@120");
    EXPECT_EQ(p.drain(up, up, {down(F2, 200), down(F1, 230), release(F1), release(F2)}), "Stop@200 Start@230");
    // Two taps of one key are two presses.
    EXPECT_EQ(p.drain(up, up, {down(F4, 300), release(F4), down(F4, 340), release(F4)}), "Lap@300 Lap@340");
    // A key bound to several commands: table order at the same tick.
    const std::int32_t shared[5] = {0x39, 0x39, 0, 0x39, 0x39};
    EXPECT_EQ(p.drain(up, up, {down(0x39, 400)}, shared), "Start@400 Stop@400 Lap@400 Next@400");
}

TEST(HotkeyPresses, AKeyDownCountsOnceWhicheverSeesItFirst) {
    Keys f1f2 = Keys().down(F1).down(F2);
    {
        // The snapshot and the event in one drain: the event's tick.
        Poller p;
        EXPECT_EQ(p.drain(up, f1, {down(F1, 50)}), "Start@50");
        EXPECT_EQ(p.drain(f1, f1), "");
    }
    {
        // Seen by a wake's event, then by the next cycle's snapshot, with a
        // failed read (a stale snapshot showing the key up) in between.
        Poller p;
        EXPECT_EQ(p.drain(up, up, {down(F1, 50)}, fKeys, 0), "Start@50");
        EXPECT_EQ(p.drain(up, up, {}, fKeys, 0), "");
        EXPECT_EQ(p.drain(up, f1), "");
        // Released and pressed again: a new press.
        EXPECT_EQ(p.drain(f1, f1, {release(F1), down(F1, 90)}), "Start@90");
    }
    {
        // The snapshot first, its event only in a later drain.
        Poller p;
        EXPECT_EQ(p.drain(up, f1), "Start@now");
        EXPECT_EQ(p.drain(f1, f1, {down(F1, 10)}, fKeys, 0), "");
    }
    // Edges with no event (events lost) act after the events, in table order.
    Poller p;
    EXPECT_EQ(p.drain(up, f1f2.down(F4), {down(F4, 70)}), "Lap@70 Start@now Stop@now");
}

TEST(HotkeyPresses, APressTakenWhileHotkeysAreBlockedNeverFiresLater) {
    Poller p;
    p.drain(up, up, {down(F1, 5)});  // drained while the options dialog is open: not applied
    EXPECT_EQ(p.drain(up, f1), "");
    EXPECT_EQ(p.drain(f1, f1), "");
}

TEST(HotkeyPresses, UnboundAndOutOfRangeCodesNeverFire) {
    Keys all;
    for (unsigned char& b : all.bytes) b = 0x80;
    const std::int32_t odd[5] = {0, 999, -5, 256, -2147483647 - 1};
    EXPECT_EQ(Poller().drain(up, all, {down(0, 1)}, odd), "");
    const std::int32_t edges[5] = {255, 1, 0, 0, 0};
    EXPECT_EQ(Poller().drain(up, all, {}, edges), "Start@now Stop@now");
}

TEST(HotkeyPresses, EventTicksComeFromTheirAgeAtTheDrain) {
    EXPECT_EQ(eventTick(1000, 1030, 5000), 4970u);
    EXPECT_EQ(eventTick(1003, 1000, 5000), 5000u);     // the counters disagree: no younger than now
    EXPECT_EQ(eventTick(0xFFFFFFF0u, 0x10u, 40), 8u);  // across the wrap
}

}  // namespace
