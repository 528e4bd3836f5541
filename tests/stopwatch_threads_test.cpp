// Commands on one thread, texts and paint steps on another: no torn state is
// ever visible, and the report sink may take the lock (run under TSan too).
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "engine/time_texts.h"
#include "tests/test_support.h"

namespace {

std::atomic<Tick> sharedNow{1};

// Never 0, so a fresh start is never mistaken for Idle.
Tick advancingTick(void*) { return sharedNow.fetch_add(3) | 1u; }

// The list shapes the texts rely on, checked under the lock.
::testing::AssertionResult shapeHolds(Stopwatch& sw) {
    std::lock_guard<std::mutex> guard(sw.lock);
    const StopwatchState& s = sw.state;
    const LapList& laps = sw.laps;
    const bool running = s.running.load() == 1;
    if (!running && s.startTick == 0) {
        if (!laps.empty()) return ::testing::AssertionFailure() << "idle with records";
        return ::testing::AssertionSuccess();
    }
    if (laps.empty() || laps.front().marker != 1) return ::testing::AssertionFailure() << "no start marker";
    const std::size_t lastLap = running ? laps.size() : laps.size() - 1;
    if (!running && (laps.size() < 2 || laps.back().marker != 1))
        return ::testing::AssertionFailure() << "stopped without a stop marker";
    for (std::size_t i = 1; i < lastLap; ++i)
        if (laps[i].marker != 0 || laps[i].position != i) return ::testing::AssertionFailure() << "bad lap " << i;
    if (s.lapFlashOn == 1 && laps.size() < 2) return ::testing::AssertionFailure() << "flash without a lap";
    if (s.splitView == 1 && laps.empty()) return ::testing::AssertionFailure() << "split view on empty list";
    return ::testing::AssertionSuccess();
}

TEST(StopwatchThreads, CommandsAndPaintsNeverSeeHalfACommand) {
    Stopwatch sw;
    sw.clock = TickSource{advancingTick, nullptr};
    std::atomic<int> sinkReports{0};
    struct SinkContext {
        Stopwatch* sw;
        std::atomic<int>* count;
    } sinkContext{&sw, &sinkReports};
    // Like the lap-time window: the sink builds the report itself.
    sw.reportSink = LapReportSink{[](void* c) {
                                      auto* ctx = static_cast<SinkContext*>(c);
                                      if (!buildLapReport(*ctx->sw, {}).empty()) ctx->count->fetch_add(1);
                                  },
                                  &sinkContext};

    constexpr int rounds = 20000;
    std::atomic<bool> done{false};
    std::thread commander([&] {
        std::mt19937 random(42);
        const StopwatchCommand commands[] = {StopwatchCommand::Start, StopwatchCommand::Stop,  StopwatchCommand::Lap,
                                             StopwatchCommand::Next,  StopwatchCommand::Start, StopwatchCommand::Lap,
                                             StopwatchCommand::Reset};
        for (int i = 0; i < rounds; ++i) {
            // Reset rarely, so the list grows to a few hundred records.
            const auto pick = random() % 64;
            const StopwatchCommand c = pick == 0 ? StopwatchCommand::Reset : commands[pick % 6];
            applyCommand(sw, c, 500);
        }
        done = true;
    });

    int paints = 0;
    int failures = 0;
    const TextSettings ts{0, 1, 0xFFFFFF, 0xFF};
    // A few paints at least, even where the commands ran out before this
    // thread was first scheduled (a loaded machine).
    while (!done || paints < 100) {
        const auto text = paintDisplayText(sw, ts).text;
        if (text && text->text[0] == '\0') ++failures;
        const std::string report = buildLapReport(sw, ts);
        if (report != " " && report.find("Total Time\r\n") == std::string::npos) ++failures;
        if (!shapeHolds(sw)) ++failures;
        ++paints;
    }
    commander.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(shapeHolds(sw));
    EXPECT_GT(sinkReports.load(), 0);
}

}  // namespace
