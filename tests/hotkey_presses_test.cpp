#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "input/hotkey_presses.h"
#include "tests/test_support.h"

namespace {

const Keys up;
const Keys f1 = Keys().down(0x3B);
constexpr std::uint8_t F1 = 0x3B, F2 = 0x3C, F4 = 0x3E;
const std::int32_t fKeys[5] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F};  // F1..F5: Start, Stop, Reset, Lap, Next

// Events stamped with their tick; a release 1000 ms after the press unless given.
KeyEvent down(std::uint8_t code, Tick tick = 0) { return KeyEvent{code, 1, tick, tick}; }
KeyEvent release(std::uint8_t code, Tick tick = 1000) { return KeyEvent{code, 0, tick, tick}; }

// One drain's commands as text, "Lap@100 Stop@now"; what the tracker knows
// carries over between the drains of one test.
struct Poller {
    PressTracker tracker{};
    std::string drain(const Keys& previous, const Keys& current, std::vector<KeyEvent> events = {},
                      const std::int32_t* codes = fKeys, std::int32_t fresh = 1, std::int32_t clean = 0) {
        KeyPresses presses;
        collectKeyPresses(previous.bytes, current.bytes, fresh, clean, events.data(), static_cast<int>(events.size()),
                          tracker, presses);
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
    EXPECT_EQ(p.drain(up, up, {down(F4, 100), release(F4, 110), down(F2, 120), release(F2, 130)}), "Lap@100 Stop@120");
    EXPECT_EQ(p.drain(up, up, {down(F2, 200), down(F1, 230), release(F1, 240), release(F2, 250)}),
              "Stop@200 Start@230");
    // Two taps of one key are two presses.
    EXPECT_EQ(p.drain(up, up, {down(F4, 300), release(F4, 310), down(F4, 340), release(F4, 350)}), "Lap@300 Lap@340");
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
        EXPECT_EQ(p.drain(f1, f1, {release(F1, 60), down(F1, 90)}), "Start@90");
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

TEST(HotkeyPresses, EventTicksComeFromTheirAgeAtTheDrainUnlessTheyCannotBeTrue) {
    const DrainClock clock{1030, 5000, 1, 900, 0, 1030};
    EXPECT_EQ(eventTick(1000, clock), 4970u);
    EXPECT_EQ(eventTick(1031, clock), 5000u);                                    // later than the drain
    EXPECT_EQ(eventTick(899, clock), 5000u);                                     // older than the previous read
    EXPECT_EQ(eventTick(0xFFFFFFF0u, DrainClock{0x10, 40, 0, 0, 0, 0x10}), 8u);  // across the wrap
    // An hour old: it would have woken a blocked wait long ago.
    const DrainClock afterAnHour{3600100, 9000, 1, 50, 1, 3600100};
    EXPECT_EQ(eventTick(100, afterAnHour), 9000u);
    EXPECT_EQ(eventTick(3599200, afterAnHour), 8100u);
    EXPECT_EQ(eventTick(100, DrainClock{3600100, 9000, 1, 50, 0, 3600100}), 9000u - 3600000u);
}

// A worn switch goes down again a few ms after it went down or came up.
TEST(HotkeyPresses, ABouncingKeyIsOnePressAQuickDoubleTapIsTwo) {
    Poller p;
    EXPECT_EQ(p.drain(up, up, {down(F4, 100), release(F4, 102), down(F4, 104)}), "Lap@100");
    EXPECT_EQ(p.drain(up, up, {release(F4, 200), down(F4, 202), release(F4, 204)}), "");  // at the release
    EXPECT_EQ(p.drain(up, up, {down(F4, 300), release(F4, 345), down(F4, 390), release(F4, 435)}), "Lap@300 Lap@390");
    EXPECT_EQ(p.drain(up, up, {down(F4, 500), release(F4, 510), down(F4, 530)}), "Lap@500 Lap@530");  // the edges
}

// The device updates its state before it queues the key-down: a snapshot
// sees the press first, and may see the key up again before the event comes.
TEST(HotkeyPresses, ALateEventAfterTheSnapshotCountsNoSecondTimeInACleanDrain) {
    Poller clean, lost;
    EXPECT_EQ(clean.drain(up, f1, {}, fKeys, 1, 1), "Start@now");
    EXPECT_EQ(clean.drain(f1, up, {down(F1, 10), release(F1, 40)}, fKeys, 1, 1), "");
    // Where events may have been lost, the snapshot's word goes.
    EXPECT_EQ(lost.drain(up, f1), "Start@now");
    EXPECT_EQ(lost.drain(f1, up, {down(F1, 10), release(F1, 40)}), "Start@10");
}

// Keys pressed at random, seen by snapshots (sometimes) and by events that
// are queued up to 3 ms after the state changed: every press counts once.
TEST(HotkeyPresses, EveryPressCountsOnceWhateverTheDrainsSee) {
    std::mt19937 random(7);
    const auto r = [&](Tick n) { return static_cast<Tick>(random() % n); };
    struct Change {
        std::uint8_t code, down;
        Tick state, queued;
    };
    std::vector<Change> changes;
    int pressesMade = 0;
    for (int key = 0; key < 4; ++key) {
        Tick t = static_cast<Tick>(r(50));
        for (int i = 0; i < 60; ++i, ++pressesMade) {
            const Tick hold = 5 + r(40);
            changes.push_back({static_cast<std::uint8_t>(fKeys[key]), 1, t, t + r(4)});
            changes.push_back({static_cast<std::uint8_t>(fKeys[key]), 0, t + hold, t + hold + r(4)});
            t += hold + 25 + r(35);  // outside the bounce windows
        }
    }
    Poller p;
    Keys previous;
    std::vector<bool> delivered(changes.size(), false);
    int commands = 0;
    Tick end = 0;
    for (const Change& c : changes) end = std::max(end, c.queued + 1);
    for (Tick now = 0; now < end + 40; now += 1 + r(40)) {
        Keys current;
        for (const Change& c : changes)  // the state at `now`: each key's last change so far
            if (c.state <= now) current.bytes[c.code] = c.down ? 0x80 : 0;
        std::vector<std::pair<Tick, KeyEvent>> queued;
        for (std::size_t i = 0; i < changes.size(); ++i)
            if (!delivered[i] && changes[i].queued <= now) {
                delivered[i] = true;
                queued.push_back(
                    {changes[i].queued, KeyEvent{changes[i].code, changes[i].down, changes[i].state, now}});
            }
        std::sort(queued.begin(), queued.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<KeyEvent> events;
        for (const auto& q : queued) events.push_back(q.second);
        const std::int32_t fresh = r(2);
        const std::string text = p.drain(fresh ? previous : current, current, events, fKeys, fresh, 1);
        commands += text.empty() ? 0 : static_cast<int>(std::count(text.begin(), text.end(), '@'));
        if (fresh) previous = current;
    }
    EXPECT_EQ(commands, pressesMade);
}

}  // namespace
