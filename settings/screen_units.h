// Morvi.ini keeps every length and place in 96-DPI pixels, whatever the
// screen's DPI, so that files written on any display mean the same. The
// record holds the screen's own pixels: the two meet only where the file is
// read and written, and where the window's scale changes.
//
// Places count at the system's scale, one for the whole desktop, so a place
// maps back to the same spot whatever the monitors' scales; lengths (the
// window's size, the font's height) count at the scale of the monitor the
// window is on. A window saved on a monitor at 150 % comes back at the same
// spot and, on that monitor, at the same size.
#pragma once

#include <cstdint>

#include "settings/settings.h"

// The scales, and what the last load read and made of it at the window's
// scale now: a value not changed since is written back exactly as it was
// read, so load and save never drift, however often, even where rounding or
// the 32-bit range would. Below 96 counts as 96. GUI thread only.
struct ScreenUnits {
    int dpi = 96;                       // the main window's: its size, the font's height
    int systemDpi = 96;                 // the system's, taken once at start: places
    std::int32_t filePixels[5] = {};    // Left, Top, Right, Bottom, Height as read
    std::int32_t screenPixels[5] = {};  // what they are on the screen at `dpi`
    std::int32_t remembered = 0;        // 1 once a load filled the two
};

ScreenUnits& processScreenUnits();

// A 96-DPI length on the screen, and back: rounded half away from zero,
// held within the 32-bit range.
std::int32_t toScreenPixels(std::int32_t filePixels, int dpi);
std::int32_t toFilePixels(std::int32_t screenPixels, int dpi);

// The file's rectangle on the screen: its place at the system's scale, its
// size at `dpi`; and back.
RECT rectToScreen(const RECT& file, int systemDpi, int dpi);
RECT rectToFile(const RECT& screen, int systemDpi, int dpi);

// Right after a load: windowRect and the display font's height in screen
// pixels.
void settingsToScreen(Settings& s, ScreenUnits& units);

// What a save writes: the record with windowRect and the font height in
// 96-DPI pixels.
Settings settingsForFile(const Settings& s, const ScreenUnits& units);

// The window is shown at another scale now (another monitor, a changed
// setting): the window's size and the font's height are made anew for it,
// its place kept. A value the file gave and nothing changed since is made
// from the file's own, so going back and forth never drifts.
void changeScreenDpi(Settings& s, ScreenUnits& units, int dpi);

// The common font dialog counts points at the system's DPI, whatever monitor
// the window is on: the display font's height (the screen's pixels at the
// window's DPI) goes to it and comes back from it at the system's scale, so
// that a size in points means the same on every monitor.
std::int32_t heightForFontDialog(std::int32_t screenHeight, const ScreenUnits& units);
std::int32_t heightFromFontDialog(std::int32_t dialogHeight, const ScreenUnits& units);
