#include "engine/time_texts.h"

#include <cstdio>
#include <cstring>

namespace {

struct Fields {
    unsigned h;
    unsigned totalMinutes;
    unsigned m;
    unsigned s;
};

Fields splitDuration(std::uint32_t d) {
    const std::uint32_t seconds = d / 1000u;
    const std::uint32_t totalMinutes = seconds / 60u;
    return Fields{totalMinutes / 60u, totalMinutes, totalMinutes % 60u, seconds % 60u};
}

bool minutesMode(const TextSettings& ts) { return ts.Funbyou != 0; }

// "%02d" of fields that never exceed 71582, so the signed reading is exact.
int asInt(unsigned v) { return static_cast<int>(v); }

DisplayText parenthesised(std::uint32_t d, const TextSettings& ts) {
    DisplayText out{};
    const Fields f = splitDuration(d);
    if (minutesMode(ts))
        std::snprintf(out.text, sizeof out.text, "(%02d:%02d)", asInt(f.totalMinutes), asInt(f.s));
    else
        std::snprintf(out.text, sizeof out.text, "(%02d:%02d:%02d)", asInt(f.h), asInt(f.m), asInt(f.s));
    out.colour = ts.TxColor;
    return out;
}

// The texts that depend on now read the tick once, or take the caller's.
DisplayText mainLocked(Stopwatch& sw, const TextSettings& ts, std::optional<Tick> givenNow = std::nullopt) {
    const StopwatchState& s = sw.state;
    DisplayText out{};
    const bool running = s.running.load() == 1;
    std::uint32_t elapsed = 0;
    char separator = ':';
    if (running)
        elapsed = (givenNow ? *givenNow : readTick(sw)) - s.startTick;
    else if (s.startTick != 0)
        elapsed = s.stopTick - s.startTick;
    if ((running || s.startTick != 0) && elapsed < 500u && ts.StartColon == 1) separator = ' ';

    const Fields f = splitDuration(elapsed);
    if (minutesMode(ts))
        std::snprintf(out.text, sizeof out.text, "%02d%c%02d", asInt(f.totalMinutes), separator, asInt(f.s));
    else
        std::snprintf(out.text, sizeof out.text, "%02d%c%02d%c%02d", asInt(f.h), separator, asInt(f.m), separator,
                      asInt(f.s));
    out.colour = (!running && ts.TxColorStop != 0) ? ts.TxColorStop : ts.TxColor;
    return out;
}

DisplayText splitLocked(Stopwatch& sw, const TextSettings& ts, std::optional<Tick> givenNow = std::nullopt) {
    const StopwatchState& s = sw.state;
    std::uint32_t d = 0;
    if (!sw.laps.empty()) {
        const Tick last = sw.laps.back().tick;
        if (s.running.load() == 1)
            d = (givenNow ? *givenNow : readTick(sw)) - last;
        else if (last != 0)
            d = s.stopTick - last;
    }
    return parenthesised(d, ts);
}

std::optional<DisplayText> flashLocked(Stopwatch& sw, const TextSettings& ts) {
    const LapList& laps = sw.laps;
    if (laps.empty()) return std::nullopt;
    const std::size_t n = laps.size() - 1;
    std::uint32_t d = 0;
    if (laps[n].marker == 0) {
        if (n > 0) d = laps[n].tick - laps[n - 1].tick;
    } else {
        for (std::size_t i = n; i-- > 0;) {
            if (laps[i].marker == 1) {
                d = laps[n].tick - laps[i].tick;
                break;
            }
        }
    }
    return parenthesised(d, ts);
}

// Two digits of every value below 100.
constexpr char twoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// "%02d" of a field; fields never exceed 71582 (the minutes of 2^32 - 1 ms).
char* putField(char* p, unsigned v) {
    if (v >= 100) {
        const unsigned high = v / 100;  // at most 715
        if (high >= 100) *p++ = static_cast<char>('0' + high / 100);
        if (high >= 10) {
            const unsigned pair = high % 100;
            *p++ = twoDigits[2 * pair];
            *p++ = twoDigits[2 * pair + 1];
        } else {
            *p++ = static_cast<char>('0' + high);
        }
        v %= 100;
    }
    *p++ = twoDigits[2 * v];
    *p++ = twoDigits[2 * v + 1];
    return p;
}

char* putText(char* p, const char* text, std::size_t n) {
    std::memcpy(p, text, n);
    return p + n;
}

char* putDuration(char* p, std::uint32_t d, bool minutes) {
    const Fields f = splitDuration(d);
    if (minutes) {
        p = putField(p, f.totalMinutes);
    } else {
        p = putField(p, f.h);
        *p++ = ':';
        p = putField(p, f.m);
    }
    *p++ = ':';
    return putField(p, f.s);
}

// The report is the bulk of a Lap's work on long runs: written field by field
// into one string sized for its longest lines, rather than through snprintf.
std::string reportLocked(const LapList& laps, const TextSettings& ts) {
    if (laps.size() < 2) return " ";
    const bool minutes = minutesMode(ts);
    // Longest line: "1193:02:47   (1193:02:47)\r\n" plus a blank line; the end
    // block is shorter than 48.
    std::string out(laps.size() * 29 + 48, '\0');
    char* const begin = out.data();
    char* p = begin;
    const Tick first = laps[0].tick;
    Tick segmentBase = first;
    Tick previous = first;
    for (std::size_t i = 1; i < laps.size(); ++i) {
        const LapRecord& r = laps[i];
        p = putDuration(p, r.tick - segmentBase, minutes);
        p = putText(p, "   (", 4);
        p = putDuration(p, r.tick - previous, minutes);
        p = putText(p, ")\r\n", 3);
        if (r.marker == 1) {
            p = putText(p, "\r\n", 2);
            segmentBase = r.tick;
        }
        previous = r.tick;
    }
    p = putText(p, "\r\nTotal Time\r\n", 14);
    p = putDuration(p, laps.back().tick - first, minutes);
    p = putText(p, "   ", 3);
    out.resize(static_cast<std::size_t>(p - begin));
    return out;
}

}  // namespace

DisplayText mainDisplayText(Stopwatch& sw, const TextSettings& ts) {
    std::lock_guard<std::mutex> guard(sw.lock);
    return mainLocked(sw, ts);
}

DisplayText splitDisplayText(Stopwatch& sw, const TextSettings& ts) {
    std::lock_guard<std::mutex> guard(sw.lock);
    return splitLocked(sw, ts);
}

std::optional<DisplayText> lapFlashText(Stopwatch& sw, const TextSettings& ts) {
    std::lock_guard<std::mutex> guard(sw.lock);
    return flashLocked(sw, ts);
}

std::string buildLapReport(Stopwatch& sw, const TextSettings& ts) {
    std::lock_guard<std::mutex> guard(sw.lock);
    return reportLocked(sw.laps, ts);
}

namespace {

bool flashShowing(const StopwatchState& s, Tick now) {
    return s.lapFlashOn == 1 && static_cast<std::int32_t>(s.lapFlashCount - now) > 0;
}

// The next tick, after now, at which a duration that is `elapsed` now reaches
// a multiple of `step`.
Tick nextMultiple(Tick now, std::uint32_t elapsed, std::uint32_t step) { return now + (step - elapsed % step); }

std::optional<Tick> nextChangeLocked(const Stopwatch& sw, const TextSettings& ts, Tick now) {
    const StopwatchState& s = sw.state;
    // The flash's text holds until its end; a command would repaint anyway.
    if (flashShowing(s, now)) return s.lapFlashCount;
    // Stopped or idle, the picture only changes with a command.
    if (s.running.load() != 1) return std::nullopt;
    if (s.splitView == 1) return nextMultiple(now, sw.laps.empty() ? 0 : now - sw.laps.back().tick, 1000);
    const std::uint32_t elapsed = now - s.startTick;
    if (ts.StartColon == 1 && elapsed < 500u) return now + (500u - elapsed);
    return nextMultiple(now, elapsed, 1000);
}

}  // namespace

std::optional<Tick> nextDisplayChange(Stopwatch& sw, const TextSettings& ts, Tick now) {
    std::lock_guard<std::mutex> guard(sw.lock);
    return nextChangeLocked(sw, ts, now);
}

void settleLapFlash(Stopwatch& sw) {
    std::lock_guard<std::mutex> guard(sw.lock);
    if (!flashShowing(sw.state, readTick(sw))) sw.state.lapFlashOn = 0;
}

Tick currentTick(Stopwatch& sw) {
    std::lock_guard<std::mutex> guard(sw.lock);
    return readTick(sw);
}

DisplayPaint paintDisplayText(Stopwatch& sw, const TextSettings& ts) {
    std::lock_guard<std::mutex> guard(sw.lock);
    StopwatchState& s = sw.state;
    const Tick now = readTick(sw);
    DisplayPaint paint;
    if (flashShowing(s, now)) {
        paint.text = flashLocked(sw, ts);
    } else {
        s.lapFlashOn = 0;  // ended: a tick a long way on must not bring it back
        paint.text = s.splitView == 1 ? splitLocked(sw, ts, now) : mainLocked(sw, ts, now);
    }
    paint.nextChange = nextChangeLocked(sw, ts, now);
    return paint;
}

std::size_t formatReportDuration(char* out, std::uint32_t duration, bool minutes) {
    return static_cast<std::size_t>(putDuration(out, duration, minutes) - out);
}
