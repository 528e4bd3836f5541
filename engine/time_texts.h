// Every text derived from the stopwatch: the three one-line displays and the
// lap report. Each public function takes the engine lock for its whole run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "stopwatch.h"

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

// One paint's choice of text, with the lap-flash countdown step, as one
// indivisible step. Nothing when the flash has no text to show.
std::optional<DisplayText> paintDisplayText(Stopwatch& sw, const TextSettings& ts);
