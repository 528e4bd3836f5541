#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "engine/time_texts.h"
#include "tests/test_support.h"

namespace {

using C = StopwatchCommand;

struct Snapshot {
    Tick startTick, stopTick;
    std::int32_t running;
    Tick lapFlashCount;
    std::int32_t lapFlashOn, splitView;
    LapList laps;
};

Snapshot snapshot(Stopwatch& sw) {
    const StopwatchState& s = sw.state;
    return Snapshot{s.startTick, s.stopTick, s.running.load(), s.lapFlashCount, s.lapFlashOn, s.splitView, sw.laps};
}

void expectSame(const Snapshot& a, const Snapshot& b) {
    EXPECT_EQ(a.startTick, b.startTick);
    EXPECT_EQ(a.stopTick, b.stopTick);
    EXPECT_EQ(a.running, b.running);
    EXPECT_EQ(a.lapFlashCount, b.lapFlashCount);
    EXPECT_EQ(a.lapFlashOn, b.lapFlashOn);
    EXPECT_EQ(a.splitView, b.splitView);
    EXPECT_TRUE(a.laps == b.laps);
}

struct Engine : ::testing::Test {
    Stopwatch sw;
    ScriptedClock clock;
    int refreshes = 0;

    void SetUp() override {
        installClock(sw, clock);
        sw.reportSink = LapReportSink{[](void* self) { ++static_cast<Engine*>(self)->refreshes; }, this};
    }
    void at(Tick t, C command, std::uint32_t lapTime = 2000) {
        clock.now = t;
        applyCommand(sw, command, lapTime);
    }
    // A hotkey pressed at `press`, applied when the clock reads `now`.
    void pressed(Tick press, Tick now, C command) {
        clock.now = now;
        applyCommandAt(sw, command, 2000, press);
    }
    void expectLaps(std::initializer_list<LapRecord> expected) {
        ASSERT_EQ(sw.laps.size(), expected.size());
        std::size_t i = 0;
        for (const LapRecord& r : expected) {
            EXPECT_EQ(sw.laps[i].tick, r.tick) << "record " << i;
            EXPECT_EQ(sw.laps[i].marker, r.marker) << "record " << i;
            EXPECT_EQ(sw.laps[i].position, r.position) << "record " << i;
            ++i;
        }
    }
};

TEST_F(Engine, ResumeExampleExcisesThePauseFromEveryRecord) {
    at(1000000, C::Start);
    expectLaps({{1000000, 1, 0}});
    at(1065250, C::Lap);
    at(1190000, C::Lap);
    at(1200500, C::Stop);
    EXPECT_EQ(sw.state.stopTick, 1200500u);
    EXPECT_EQ(sw.state.running.load(), 0);
    expectLaps({{1000000, 1, 0}, {1065250, 0, 1}, {1190000, 0, 2}, {1200500, 1, 0}});

    at(1800500, C::Start);
    EXPECT_EQ(sw.state.startTick, 1600000u);
    EXPECT_EQ(sw.state.stopTick, 1200500u);
    EXPECT_EQ(sw.state.running.load(), 1);
    expectLaps({{1600000, 1, 0}, {1665250, 0, 1}, {1790000, 0, 2}});

    at(5400000, C::Lap);
    at(5430000, C::Stop);
    EXPECT_EQ(sw.state.startTick, 1600000u);
    EXPECT_EQ(sw.state.stopTick, 5430000u);
    expectLaps({{1600000, 1, 0}, {1665250, 0, 1}, {1790000, 0, 2}, {5400000, 0, 3}, {5430000, 1, 0}});
    EXPECT_EQ(refreshes, 5);  // two Stops and three Laps
}

TEST_F(Engine, FreshStartTakesTwoReadingsAndStopTakesTwo) {
    clock.step = 7;
    at(100, C::Start);
    EXPECT_EQ(sw.state.startTick, 100u);
    expectLaps({{107, 1, 0}});
    at(1000, C::Stop);
    // The stop marker is read first, so it is never later than stopTick.
    EXPECT_EQ(sw.laps.back().tick, 1000u);
    EXPECT_EQ(sw.state.stopTick, 1007u);
    EXPECT_EQ(clock.reads, 4);
    at(2000, C::Start);  // a resume reads once
    EXPECT_EQ(clock.reads, 5);
}

// Every command in every state; the guarded ones must leave everything alone
// and not even read the clock.
TEST_F(Engine, StateTable) {
    auto idle = [&] { at(0, C::Reset); };
    auto running = [&] {
        idle();
        at(1000, C::Start);
        at(1500, C::Lap);
    };
    auto stopped = [&] {
        running();
        at(2000, C::Stop);
    };

    struct Case {
        const char* state;
        std::function<void()> enter;
        C command;
        bool changes;
    };
    const Case cases[] = {
        {"Idle", idle, C::Start, true},       {"Idle", idle, C::Stop, false},
        {"Idle", idle, C::Reset, true},       {"Idle", idle, C::Lap, false},
        {"Idle", idle, C::Next, false},       {"Running", running, C::Start, false},
        {"Running", running, C::Stop, true},  {"Running", running, C::Reset, true},
        {"Running", running, C::Lap, true},   {"Running", running, C::Next, true},
        {"Stopped", stopped, C::Start, true}, {"Stopped", stopped, C::Stop, false},
        {"Stopped", stopped, C::Reset, true}, {"Stopped", stopped, C::Lap, false},
        {"Stopped", stopped, C::Next, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.state) + " command " + std::to_string(static_cast<int>(c.command)));
        c.enter();
        const Snapshot before = snapshot(sw);
        const int readsBefore = clock.reads;
        const int refreshesBefore = refreshes;
        at(5000, c.command);
        if (!c.changes) {
            expectSame(before, snapshot(sw));
            EXPECT_EQ(clock.reads, readsBefore);
            EXPECT_EQ(refreshes, refreshesBefore);
        }
        const bool refreshing = c.changes && (c.command == C::Stop || c.command == C::Lap);
        EXPECT_EQ(refreshes - refreshesBefore, refreshing ? 1 : 0);
    }
}

TEST_F(Engine, ResetClearsEverythingInAnyState) {
    at(1000, C::Start);
    at(1200, C::Lap);
    at(1300, C::Next);
    ASSERT_EQ(sw.state.lapFlashOn, 1);
    at(1400, C::Reset);
    EXPECT_EQ(sw.state.startTick, 0u);
    EXPECT_EQ(sw.state.stopTick, 0u);
    EXPECT_EQ(sw.state.running.load(), 0);
    EXPECT_EQ(sw.state.lapFlashOn, 0);
    EXPECT_EQ(sw.state.splitView, 0);
    EXPECT_TRUE(sw.laps.empty());
    EXPECT_EQ(sw.laps.capacity(), 0u);
    EXPECT_EQ(refreshes, 1);  // only the Lap; Reset does not refresh
}

TEST_F(Engine, TwoPausesAreBothExcised) {
    at(10000, C::Start);
    at(15000, C::Stop);
    at(20000, C::Start);
    EXPECT_EQ(mainDisplayText(sw, {}).text, std::string("00:00:05"));
    at(23000, C::Stop);
    EXPECT_EQ(mainDisplayText(sw, {}).text, std::string("00:00:08"));
    at(90000, C::Start);
    clock.now = 90000;
    EXPECT_EQ(mainDisplayText(sw, {}).text, std::string("00:00:08"));
    EXPECT_EQ(sw.state.startTick, 10000u + 5000u + 67000u);
    expectLaps({{82000, 1, 0}});
}

TEST_F(Engine, LapPositionsCountRecordsBeforeTheAppend) {
    at(1000, C::Start);
    at(2000, C::Lap);
    EXPECT_EQ(sw.laps.back().position, 1u);
    at(3000, C::Lap);
    at(4000, C::Stop);
    at(5000, C::Start);
    at(6000, C::Lap);
    EXPECT_EQ(sw.laps.back().position, 3u);
}

TEST_F(Engine, LapFlashEndsLapTimeAfterTheLapRoundedDownToATenth) {
    at(1000, C::Start);
    at(1100, C::Lap, 99);
    EXPECT_EQ(sw.state.lapFlashOn, 0);
    at(1200, C::Lap, 2050);
    EXPECT_EQ(sw.state.lapFlashOn, 1);
    EXPECT_EQ(sw.state.lapFlashCount, 3200u);
    at(1300, C::Lap, 1000);
    EXPECT_EQ(sw.state.lapFlashCount, 2300u);  // afresh, not added
    // A negative pattern (-1 in the file, -100 typed) shows no flash at all.
    at(1400, C::Lap, 0xFFFFFFFFu);
    EXPECT_EQ(sw.state.lapFlashOn, 0);
    at(1450, C::Lap, static_cast<std::uint32_t>(-100));
    EXPECT_EQ(sw.state.lapFlashOn, 0);
    at(1460, C::Lap, 0x7FFFFFFFu);
    EXPECT_EQ(sw.state.lapFlashCount, 1460u + 2147483600u);
    // Stop and resume leave it running out.
    at(1500, C::Stop);
    at(1600, C::Start);
    EXPECT_EQ(sw.state.lapFlashOn, 1);
}

// One key bound to several commands: the poller applies them in table order.
TEST_F(Engine, SharedKeyOrderingsWithinOneCycle) {
    auto cycle = [&](Tick t, std::initializer_list<C> commands) {
        for (C c : commands) at(t, c);
    };
    cycle(1000, {C::Start, C::Stop});  // Idle: starts and stops at once
    expectLaps({{1000, 1, 0}, {1000, 1, 0}});
    EXPECT_EQ(sw.state.running.load(), 0);

    cycle(5000, {C::Start, C::Stop});  // Stopped: resumes and stops again
    expectLaps({{5000, 1, 0}, {5000, 1, 0}});
    EXPECT_EQ(mainDisplayText(sw, {}).text, std::string("00:00:00"));

    at(6000, C::Start);
    cycle(9000, {C::Start, C::Stop});  // Running: only stops
    EXPECT_EQ(sw.state.running.load(), 0);
    EXPECT_EQ(sw.laps.size(), 2u);

    at(10000, C::Start);
    cycle(11000, {C::Lap, C::Next});  // Lap and Next on one key
    EXPECT_EQ(sw.laps.back().marker, 0);
    EXPECT_EQ(sw.state.splitView, 1);

    cycle(12000, {C::Reset, C::Lap});  // Reset first, then Lap finds it idle
    EXPECT_TRUE(sw.laps.empty());
    EXPECT_EQ(sw.state.lapFlashOn, 0);
}

TEST_F(Engine, SplitViewTogglesOnlyWhileRunningAndSurvivesAPause) {
    at(1000, C::Next);
    EXPECT_EQ(sw.state.splitView, 0);
    at(1000, C::Start);
    at(1100, C::Next);
    at(1200, C::Next);
    EXPECT_EQ(sw.state.splitView, 0);
    at(1300, C::Next);
    at(1400, C::Stop);
    at(1500, C::Next);
    EXPECT_EQ(sw.state.splitView, 1);
    at(1600, C::Start);
    EXPECT_EQ(sw.state.splitView, 1);
    at(1700, C::Reset);
    EXPECT_EQ(sw.state.splitView, 0);
}

TEST_F(Engine, RunAcrossTheTickCounterWrap) {
    at(0xFFFFF000u, C::Start);
    at(0x00000800u, C::Lap);
    EXPECT_EQ(sw.laps.back().tick - sw.laps.front().tick, 0x1800u);
    at(0x00001000u, C::Stop);
    EXPECT_EQ(mainDisplayText(sw, {}).text, std::string("00:00:08"));  // 8192 ms
    // A pause that itself spans the wrap.
    at(0xFFFFFF00u, C::Reset);
    at(0xFFFFFF00u, C::Start);
    at(0xFFFFFFF0u, C::Stop);
    at(0x00000100u, C::Start);
    EXPECT_EQ(sw.state.startTick, 0x00000010u);  // 0xFFFFFF00 + a pause of 0x110
    clock.now = 0x00000100u;
    EXPECT_EQ(mainDisplayText(sw, {}).text, std::string("00:00:00"));
}

// Tick 0 is the Idle sentinel: a start that reads it is taken as Idle again.
TEST_F(Engine, FreshStartReadingTickZero) {
    at(0, C::Start);
    EXPECT_EQ(sw.state.running.load(), 1);
    EXPECT_EQ(sw.state.startTick, 0u);
    at(3000, C::Stop);
    at(4000, C::Start);  // treated as a fresh start
    EXPECT_EQ(sw.state.startTick, 4000u);
    expectLaps({{0, 1, 0}, {3000, 1, 0}, {4000, 1, 0}});
}

// The sink runs after the lock is released: another thread can take it.
TEST_F(Engine, ReportSinkRunsWithoutTheEngineLock) {
    struct Probe {
        Stopwatch* sw;
        int calls = 0;
        bool lockWasFree = true;
    } probe{&sw};
    sw.reportSink = LapReportSink{[](void* context) {
                                      auto* p = static_cast<Probe*>(context);
                                      ++p->calls;
                                      bool got = false;
                                      std::thread other([&] {
                                          got = p->sw->lock.try_lock();
                                          if (got) p->sw->lock.unlock();
                                      });
                                      other.join();
                                      p->lockWasFree = p->lockWasFree && got;
                                      // And the sink can build the report itself.
                                      EXPECT_NE(buildLapReport(*p->sw, {}), "");
                                  },
                                  &probe};
    at(1000, C::Start);
    at(2000, C::Lap);
    at(3000, C::Stop);
    EXPECT_EQ(probe.calls, 2);
    EXPECT_TRUE(probe.lockWasFree);
}

TEST_F(Engine, HotkeyCommandsTakeThePressTickWithinWhatTheStopwatchHolds) {
    pressed(1000, 1040, C::Start);  // from Idle: both readings are the press
    EXPECT_EQ(sw.state.startTick, 1000u);
    expectLaps({{1000, 1, 0}});
    pressed(2500, 2560, C::Lap);
    pressed(4000, 4005, C::Stop);
    EXPECT_EQ(sw.state.stopTick, 4000u);
    pressed(6000, 6090, C::Start);  // the pause runs from press to press
    EXPECT_EQ(sw.state.startTick, 3000u);
    expectLaps({{3000, 1, 0}, {4500, 0, 1}});
    // A button Lap at 7000 came between a press at 6900 and its handling:
    // the press is raised to it, never earlier than the last record.
    at(7000, C::Lap);
    pressed(6900, 7010, C::Lap);
    EXPECT_EQ(sw.laps.back().tick, 7000u);
    pressed(9000, 8000, C::Stop);  // never later than now
    EXPECT_EQ(sw.state.stopTick, 8000u);
    EXPECT_EQ(sw.laps.back().tick, 8000u);
    pressed(7500, 8100, C::Start);  // a resume before the stop: no negative pause
    EXPECT_EQ(sw.state.startTick, 3000u);
}

// A press read after a command from a button, but made before it, is applied
// at that command's tick to the state as it is then.
TEST_F(Engine, APressIsNeverTimedBeforeTheLastCommandThatChangedTheStopwatch) {
    at(1000, C::Start);
    at(2000, C::Stop);
    at(3000, C::Start);           // a button's resume
    pressed(2990, 3010, C::Lap);  // not inside the excised pause
    EXPECT_EQ(sw.laps.back().tick, 3000u);
    at(4000, C::Reset);
    pressed(3950, 4020, C::Start);  // not before the Reset
    EXPECT_EQ(sw.state.startTick, 4000u);
    at(5000, C::Stop);
    at(5500, C::Stop);  // refused: it changed nothing
    pressed(5200, 5600, C::Start);
    EXPECT_EQ(sw.state.startTick, 4200u);
}

}  // namespace
