#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "engine/time_texts.h"
#include "tests/test_support.h"

namespace {

using C = StopwatchCommand;

constexpr std::uint32_t colour = 0x00FFFFFF;
constexpr std::uint32_t stopColour = 0x000000FF;

struct Texts : ::testing::Test {
    Stopwatch sw;
    ScriptedClock clock;
    TextSettings hms{0, 1, colour, stopColour};
    TextSettings ms{1, 1, colour, stopColour};

    void SetUp() override { installClock(sw, clock); }
    void at(Tick t, C command, std::uint32_t lapTime = 2000) {
        clock.now = t;
        applyCommand(sw, command, lapTime);
    }
    std::string mainAt(Tick t, const TextSettings& ts) {
        clock.now = t;
        return mainDisplayText(sw, ts).text;
    }
    std::string splitAt(Tick t, const TextSettings& ts) {
        clock.now = t;
        return splitDisplayText(sw, ts).text;
    }
    std::string flash(const TextSettings& ts) {
        auto t = lapFlashText(sw, ts);
        return t ? std::string(t->text) : std::string("<none>");
    }
    // The run of the worked example, up to its second Stop.
    void workedExample(Tick secondStop = 5430000) {
        at(1000000, C::Start);
        at(1065250, C::Lap);
        at(1190000, C::Lap);
        at(1200500, C::Stop);
        at(1800500, C::Start);
        at(5400000, C::Lap);
        at(secondStop, C::Stop);
    }
};

TEST_F(Texts, LapReportOfTheWorkedExampleInBothModes) {
    workedExample();
    EXPECT_EQ(buildLapReport(sw, hms),
              "00:01:05   (00:01:05)\r\n"
              "00:03:10   (00:02:04)\r\n"
              "01:03:20   (01:00:10)\r\n"
              "01:03:50   (00:00:30)\r\n"
              "\r\n"
              "\r\n"
              "Total Time\r\n"
              "01:03:50   ");
    EXPECT_EQ(buildLapReport(sw, ms),
              "01:05   (01:05)\r\n"
              "03:10   (02:04)\r\n"
              "63:20   (60:10)\r\n"
              "63:50   (00:30)\r\n"
              "\r\n"
              "\r\n"
              "Total Time\r\n"
              "63:50   ");
}

TEST_F(Texts, OneLineTextsAtTheMomentsOfTheWorkedExample) {
    at(1000000, C::Start);
    at(1065250, C::Lap);
    at(1190000, C::Lap);
    at(1200500, C::Stop);
    EXPECT_EQ(mainAt(1200500, hms), "00:03:20");
    EXPECT_EQ(splitAt(1200500, hms), "(00:00:00)");
    at(1800500, C::Start);
    EXPECT_EQ(mainAt(1800500, hms), "00:03:20");
    EXPECT_EQ(splitAt(1800500, hms), "(00:00:10)");
    EXPECT_EQ(mainAt(5399999, hms), "01:03:19");
    EXPECT_EQ(splitAt(5399999, hms), "(01:00:09)");
    at(5400000, C::Lap);
    EXPECT_EQ(sw.state.lapFlashCount, 5402000u);
    EXPECT_EQ(flash(hms), "(01:00:10)");  // measured from the shifted lap, pause excluded
    at(5430000, C::Stop);
    EXPECT_EQ(mainAt(5430000, hms), "01:03:50");
    EXPECT_EQ(splitAt(5430000, hms), "(00:00:00)");
}

TEST_F(Texts, StopDuringTheFlashShowsTheWholeRun) {
    workedExample(5401000);
    EXPECT_EQ(flash(hms), "(01:03:21)");
    EXPECT_EQ(flash(ms), "(63:21)");
}

TEST_F(Texts, IdleShowsZeroWithColonsInTheStopColour) {
    const DisplayText t = mainDisplayText(sw, hms);
    EXPECT_STREQ(t.text, "00:00:00");
    EXPECT_EQ(t.colour, stopColour);
    EXPECT_STREQ(mainDisplayText(sw, ms).text, "00:00");
    TextSettings noStop = hms;
    noStop.TxColorStop = 0;
    EXPECT_EQ(mainDisplayText(sw, noStop).colour, colour);
}

TEST_F(Texts, StartColonBlanksSeparatorsBelowHalfASecond) {
    at(10000, C::Start);
    EXPECT_EQ(mainAt(10250, hms), "00 00 00");
    EXPECT_EQ(mainAt(10250, ms), "00 00");
    EXPECT_EQ(mainAt(10499, hms), "00 00 00");
    EXPECT_EQ(mainAt(10500, hms), "00:00:00");
    TextSettings off = hms;
    off.StartColon = 0;
    EXPECT_EQ(mainAt(10250, off), "00:00:00");
    off.StartColon = 2;  // only exactly 1 blanks them
    EXPECT_EQ(mainAt(10250, off), "00:00:00");
    // A stop inside the first half second keeps them blank.
    at(10300, C::Stop);
    EXPECT_EQ(mainAt(99999, hms), "00 00 00");
    // The split display never blanks.
    EXPECT_EQ(splitAt(99999, hms), "(00:00:00)");
}

TEST_F(Texts, FieldsTruncateAndHoursDoNotWrap) {
    struct Row {
        std::uint32_t elapsed;
        const char* hms;
        const char* ms;
        const char* report;
    };
    const Row rows[] = {
        {3723000, "01:02:03", "62:03", "01:02:03   "},
        {360000000, "100:00:00", "6000:00", "100:00:00   "},
        {59999, "00:00:59", "00:59", "00:00:59   "},
        {0xFFFFFFFFu, "1193:02:47", "71582:47", "1193:02:47   "},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.elapsed);
        at(0, C::Reset);
        at(1000, C::Start);
        EXPECT_EQ(mainAt(1000 + r.elapsed, hms), r.hms);
        EXPECT_EQ(mainAt(1000 + r.elapsed, ms), r.ms);
        at(1000 + r.elapsed, C::Stop);
        const std::string report = buildLapReport(sw, hms);
        EXPECT_EQ(report.substr(report.rfind('\n') + 1), r.report);
    }
}

TEST_F(Texts, AnyNonZeroFunbyouSelectsMinutesAndSeconds) {
    at(1000, C::Start);
    for (std::int32_t mode : {1, 2, -1}) {
        TextSettings ts = hms;
        ts.Funbyou = mode;
        EXPECT_EQ(mainAt(1000 + 3723000, ts), "62:03");
    }
}

TEST_F(Texts, ColoursFollowTheRunState) {
    at(1000, C::Start);
    at(2000, C::Lap);
    EXPECT_EQ(mainDisplayText(sw, hms).colour, colour);
    at(3000, C::Stop);
    EXPECT_EQ(mainDisplayText(sw, hms).colour, stopColour);
    EXPECT_EQ(splitDisplayText(sw, hms).colour, colour);
    EXPECT_EQ(lapFlashText(sw, hms)->colour, colour);
}

TEST_F(Texts, SplitDisplayMeasuresFromTheLastRecord) {
    at(1000, C::Start);
    EXPECT_EQ(splitAt(6000, hms), "(00:00:05)");  // since the start while no lap
    at(7000, C::Lap);
    EXPECT_EQ(splitAt(8500, hms), "(00:00:01)");
    EXPECT_EQ(splitAt(8500, ms), "(00:01)");
}

TEST_F(Texts, TextsOnListsTheCommandsNeverProduce) {
    // Empty list: the split display shows zero, the flash shows nothing.
    EXPECT_EQ(splitAt(5000, hms), "(00:00:00)");
    EXPECT_EQ(flash(hms), "<none>");
    // A single record: a zero flash, whatever the record is.
    at(1000, C::Start);
    EXPECT_EQ(flash(hms), "(00:00:00)");
    sw.laps[0].marker = 0;
    EXPECT_EQ(flash(hms), "(00:00:00)");
    // A lap flash whose previous record is a marker at any index.
    sw.laps = {{100, 0, 0}, {200, 1, 0}, {900, 0, 2}};
    EXPECT_EQ(flash(hms), "(00:00:00)");  // 900 - 200 ms
    // A trailing marker without an earlier marker shows zero.
    sw.laps = {{100, 0, 0}, {5100, 1, 0}};
    EXPECT_EQ(flash(hms), "(00:00:00)");
    sw.laps = {{100, 1, 0}, {2100, 0, 1}, {7100, 1, 0}};
    EXPECT_EQ(flash(hms), "(00:00:07)");
}

TEST(ReportFormatter, MatchesTheFormatStringsForAnyDuration) {
    std::uint32_t x = 2463534242u;  // xorshift: a spread over all 32 bits
    std::vector<std::uint32_t> durations{0, 999, 59999, 60000, 3599999, 3600000, 359999999, 0xFFFFFFFFu};
    for (int i = 0; i < 20000; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        durations.push_back(x >> (i % 32));
    }
    for (const std::uint32_t d : durations) {
        const unsigned s = d / 1000u, m = s / 60u;
        char expected[32], got[16];
        std::snprintf(expected, sizeof expected, "%02d:%02d:%02d", static_cast<int>(m / 60u), static_cast<int>(m % 60u),
                      static_cast<int>(s % 60u));
        ASSERT_EQ(std::string(got, formatReportDuration(got, d, false)), expected) << d;
        std::snprintf(expected, sizeof expected, "%02d:%02d", static_cast<int>(m), static_cast<int>(s % 60u));
        ASSERT_EQ(std::string(got, formatReportDuration(got, d, true)), expected) << d;
    }
}

TEST_F(Texts, ReportShapes) {
    EXPECT_EQ(buildLapReport(sw, hms), " ");
    at(1000, C::Start);
    EXPECT_EQ(buildLapReport(sw, hms), " ");
    at(6000, C::Lap);
    EXPECT_EQ(buildLapReport(sw, hms), "00:00:05   (00:00:05)\r\n\r\nTotal Time\r\n00:00:05   ");
    // Reset empties the report at its next rebuild.
    at(7000, C::Reset);
    EXPECT_EQ(buildLapReport(sw, hms), " ");
    // A new segment starts after a marker in the middle of the list.
    sw.laps = {{0, 1, 0}, {1000, 1, 0}, {4000, 0, 2}};
    EXPECT_EQ(buildLapReport(sw, hms),
              "00:00:01   (00:00:01)\r\n\r\n00:00:03   (00:00:03)\r\n\r\nTotal Time\r\n00:00:04   ");
}

TEST_F(Texts, PaintPrefersTheFlashThenTheSplitThenTheMainDisplay) {
    at(1000, C::Start);
    at(3000, C::Lap, 399);  // shows until 3300, however often it is painted
    at(3000, C::Next);
    for (const Tick t : {3000u, 3000u, 3299u}) {
        clock.now = t;
        const DisplayPaint p = paintDisplayText(sw, hms);
        ASSERT_TRUE(p.text);
        EXPECT_STREQ(p.text->text, "(00:00:02)");
        EXPECT_EQ(p.nextChange, std::optional<Tick>(3300));
    }
    clock.now = 4000;
    EXPECT_STREQ(paintDisplayText(sw, hms).text->text, "(00:00:01)");  // split, since the lap
    EXPECT_EQ(sw.state.lapFlashOn, 0);
    at(4000, C::Next);
    EXPECT_STREQ(paintDisplayText(sw, hms).text->text, "00:00:03");
    sw.state.splitView = 2;  // only exactly 1 selects the split display
    EXPECT_STREQ(paintDisplayText(sw, hms).text->text, "00:00:03");
    // A flash on an empty list draws nothing.
    sw.laps.clear();
    sw.state.lapFlashOn = 1;
    sw.state.lapFlashCount = 5000;
    EXPECT_FALSE(paintDisplayText(sw, hms).text);
}

// When the picture next changes: never while nothing on it can.
TEST_F(Texts, TheNextChangeIsTheNextEdgeOfWhatIsShown) {
    const auto next = [&](Tick now, const TextSettings& ts) { return nextDisplayChange(sw, ts, now); };
    const TextSettings noColon{0, 0, colour, 0};
    EXPECT_EQ(next(500, hms), std::nullopt);  // idle
    at(10000, C::Start);
    EXPECT_EQ(next(10000, hms), std::optional<Tick>(10500));  // blank separators turn into colons
    EXPECT_EQ(next(10000, noColon), std::optional<Tick>(11000));
    EXPECT_EQ(next(10500, hms), std::optional<Tick>(11000));
    EXPECT_EQ(next(12999, ms), std::optional<Tick>(13000));  // minutes:seconds turn on the second too
    EXPECT_EQ(next(13000, ms), std::optional<Tick>(14000));
    at(13250, C::Stop);
    EXPECT_EQ(next(13300, hms), std::nullopt);
    at(20000, C::Start);  // a resume shifts every edge by the pause
    EXPECT_EQ(next(20000, noColon), std::optional<Tick>(20750));
    EXPECT_EQ(next(20100, hms), std::optional<Tick>(20750));  // 3.35 s elapsed: no blanks
    at(20400, C::Lap, 1000);
    EXPECT_EQ(next(20400, hms), std::optional<Tick>(21400));  // the flash's end
    at(20500, C::Stop);
    EXPECT_EQ(next(20600, hms), std::optional<Tick>(21400));  // it ends while stopped
    EXPECT_EQ(next(21400, hms), std::nullopt);
    at(30000, C::Start);
    at(30000, C::Next);  // the split view counts from the last record, shifted too
    EXPECT_EQ(next(30250, hms), std::optional<Tick>(30900));
    // Across the counter's wrap.
    at(0xFFFFFF00u, C::Reset);
    at(0xFFFFFF00u, C::Start);
    EXPECT_EQ(next(0xFFFFFFF0u, noColon), std::optional<Tick>(0x000002E8u));
}

}  // namespace
