// Morvi.ini keeps every length and place in 96-DPI pixels, whatever the
// screen's DPI, so that files written on any display mean the same. The
// record holds the screen's own pixels: the two meet only where the file is
// read and written.
#pragma once

#include <cstdint>

#include "settings.h"

// The screen's scale, and what the last load read and made of it: a value
// not changed since is written back exactly as it was read, so load and save
// never drift, however often, even where rounding or the 32-bit range would.
struct ScreenUnits {
    int dpi = 96;  // the screen's, taken once at start; below 96 counts as 96
    std::int32_t filePixels[5] = {};
    std::int32_t screenPixels[5] = {};
    std::int32_t remembered = 0;  // 1 once a load filled the two
};

ScreenUnits& processScreenUnits();

// A 96-DPI length on the screen, and back: rounded half away from zero,
// held within the 32-bit range.
std::int32_t toScreenPixels(std::int32_t filePixels, int dpi);
std::int32_t toFilePixels(std::int32_t screenPixels, int dpi);

// Right after a load: windowRect and the display font's height in screen
// pixels.
void settingsToScreen(Settings& s, ScreenUnits& units);

// What a save writes: the record with windowRect and the font height in
// 96-DPI pixels.
Settings settingsForFile(const Settings& s, const ScreenUnits& units);
