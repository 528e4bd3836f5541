// Every text derived from the stopwatch: the three one-line displays and the
// lap report. Each public function takes the engine lock for its whole run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/stopwatch.h"

// The four settings the texts read, passed in by the caller.
struct TextSettings {
    std::int32_t Funbyou = 0;       // 0: hh:mm:ss, anything else: minutes:seconds
    std::int32_t StartColon = 0;    // 1: blank separators below 500 ms
    std::uint32_t TxColor = 0;      // COLORREF of the text
    std::uint32_t TxColorStop = 0;  // COLORREF while not running; 0: use TxColor
};

struct DisplayText {
    char text[256];
    std::uint32_t colour;
};

DisplayText mainDisplayText(Stopwatch& sw, const TextSettings& ts);
// On an empty list this shows a zero duration.
DisplayText splitDisplayText(Stopwatch& sw, const TextSettings& ts);
// Nothing when the list is empty; a zero duration for a single record.
std::optional<DisplayText> lapFlashText(Stopwatch& sw, const TextSettings& ts);
std::string buildLapReport(Stopwatch& sw, const TextSettings& ts);

// A duration as the report writes it ("%02d:%02d:%02d" of hours, minutes and
// seconds, or "%02d:%02d" of minutes and seconds), without a terminator, into
// at least 10 bytes; returns the length.
std::size_t formatReportDuration(char* out, std::uint32_t duration, bool minutes);

// The tick, after `now`, at which the picture a paint at `now` shows next
// changes: the next second of the shown time, the separators' 500 ms point
// while StartColon is 1, the lap flash's end. Nothing while idle, and while
// stopped but for the flash's end; a command changes it too, and repaints.
std::optional<Tick> nextDisplayChange(Stopwatch& sw, const TextSettings& ts, Tick now);

// One paint's choice of text (the flash while it lasts, else the split or the
// main display), read at one tick with the next change from that same tick,
// as one indivisible step. No text when the flash has none to show.
struct DisplayPaint {
    std::optional<DisplayText> text;
    std::optional<Tick> nextChange;
};
DisplayPaint paintDisplayText(Stopwatch& sw, const TextSettings& ts);

// Ends a lap flash whose time is over, for when no paint comes (the window
// covered or minimised): a tick weeks later must not bring it back.
void settleLapFlash(Stopwatch& sw);

// The tick source's reading, under the engine lock.
Tick currentTick(Stopwatch& sw);
