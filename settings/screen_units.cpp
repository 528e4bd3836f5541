#include "settings/screen_units.h"

#include <limits>

namespace {

int effectiveDpi(int dpi) { return dpi < 96 ? 96 : dpi; }

std::int32_t clamped(std::int64_t value) {
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::int32_t roundedRatio(std::int64_t value, std::int64_t numerator, std::int64_t denominator) {
    const std::int64_t product = value * numerator;
    const std::int64_t half = denominator / 2;
    return clamped((product >= 0 ? product + half : product - half) / denominator);
}

// The far edge, from `nearOut`, of the length from `nearIn` to `farIn`
// converted to other units.
LONG edgeAfter(LONG nearOut, LONG nearIn, LONG farIn, std::int32_t (*convert)(std::int32_t, int), int dpi) {
    return static_cast<LONG>(clamped(std::int64_t{nearOut} + convert(clamped(std::int64_t{farIn} - nearIn), dpi)));
}

// The size taken from one scale to another through the file's 96-DPI pixels.
RECT rescaledSize(const RECT& r, int to, int from) {
    if (effectiveDpi(to) == effectiveDpi(from)) return r;
    const auto farEdge = [&](LONG nearEdge, LONG edge) {
        return edgeAfter(nearEdge, 0, edgeAfter(0, nearEdge, edge, toFilePixels, from), toScreenPixels, to);
    };
    return RECT{r.left, r.top, farEdge(r.left, r.right), farEdge(r.top, r.bottom)};
}

// The five values that are lengths or places, in a fixed order.
void read(const Settings& s, std::int32_t out[5]) {
    const RECT r = sharedLoadRect(s.windowRect);
    out[0] = r.left;
    out[1] = r.top;
    out[2] = r.right;
    out[3] = r.bottom;
    out[4] = sharedLoad(s.displayFont.lfHeight);
}

void write(Settings& s, const std::int32_t in[5]) {
    sharedStoreRect(s.windowRect, RECT{in[0], in[1], in[2], in[3]});
    sharedStore(s.displayFont.lfHeight, static_cast<LONG>(in[4]));
}

// The file's five values on the screen at a scale.
void onScreen(const std::int32_t file[5], int systemDpi, int dpi, std::int32_t out[5]) {
    const RECT r = rectToScreen(RECT{file[0], file[1], file[2], file[3]}, systemDpi, dpi);
    out[0] = r.left;
    out[1] = r.top;
    out[2] = r.right;
    out[3] = r.bottom;
    out[4] = toScreenPixels(file[4], dpi);
}

}  // namespace

ScreenUnits& processScreenUnits() {
    static ScreenUnits instance;
    return instance;
}

std::int32_t toScreenPixels(std::int32_t filePixels, int dpi) {
    return roundedRatio(filePixels, effectiveDpi(dpi), 96);
}

std::int32_t toFilePixels(std::int32_t screenPixels, int dpi) {
    return roundedRatio(screenPixels, 96, effectiveDpi(dpi));
}

namespace {

// At one scale each edge converts on its own; at two, the size goes with
// the window's.
RECT convertedRect(const RECT& in, std::int32_t (*convert)(std::int32_t, int), int systemDpi, int dpi) {
    RECT r{convert(in.left, systemDpi), convert(in.top, systemDpi), convert(in.right, systemDpi),
           convert(in.bottom, systemDpi)};
    if (effectiveDpi(dpi) == effectiveDpi(systemDpi)) return r;
    r.right = edgeAfter(r.left, in.left, in.right, convert, dpi);
    r.bottom = edgeAfter(r.top, in.top, in.bottom, convert, dpi);
    return r;
}

}  // namespace

RECT rectToScreen(const RECT& file, int systemDpi, int dpi) {
    return convertedRect(file, toScreenPixels, systemDpi, dpi);
}

RECT rectToFile(const RECT& screen, int systemDpi, int dpi) {
    return convertedRect(screen, toFilePixels, systemDpi, dpi);
}

void settingsToScreen(Settings& s, ScreenUnits& units) {
    read(s, units.filePixels);
    onScreen(units.filePixels, units.systemDpi, units.dpi, units.screenPixels);
    write(s, units.screenPixels);
    units.remembered = 1;
}

Settings settingsForFile(const Settings& s, const ScreenUnits& units) {
    Settings out = s;
    std::int32_t screen[5];
    read(s, screen);
    const RECT r = rectToFile(RECT{screen[0], screen[1], screen[2], screen[3]}, units.systemDpi, units.dpi);
    const std::int32_t converted[5] = {r.left, r.top, r.right, r.bottom, toFilePixels(screen[4], units.dpi)};
    std::int32_t file[5];
    for (int i = 0; i < 5; ++i)
        file[i] = units.remembered == 1 && screen[i] == units.screenPixels[i] ? units.filePixels[i] : converted[i];
    out.windowRect = RECT{file[0], file[1], file[2], file[3]};
    out.displayFont.lfHeight = file[4];
    return out;
}

void changeScreenDpi(Settings& s, ScreenUnits& units, int dpi) {
    std::int32_t now[5];
    read(s, now);
    const RECT r = rescaledSize(RECT{now[0], now[1], now[2], now[3]}, dpi, units.dpi);
    const std::int32_t rescaled[5] = {r.left, r.top, r.right, r.bottom,
                                      toScreenPixels(toFilePixels(now[4], units.dpi), dpi)};
    std::int32_t fromFile[5];
    onScreen(units.filePixels, units.systemDpi, dpi, fromFile);
    for (int i = 0; i < 5; ++i) {
        const bool unchanged = units.remembered == 1 && now[i] == units.screenPixels[i];
        now[i] = unchanged ? fromFile[i] : rescaled[i];
        if (units.remembered == 1) units.screenPixels[i] = fromFile[i];
    }
    write(s, now);
    units.dpi = dpi;
}

std::int32_t heightForFontDialog(std::int32_t screenHeight, const ScreenUnits& units) {
    return roundedRatio(screenHeight, effectiveDpi(units.systemDpi), effectiveDpi(units.dpi));
}

std::int32_t heightFromFontDialog(std::int32_t dialogHeight, const ScreenUnits& units) {
    return roundedRatio(dialogHeight, effectiveDpi(units.dpi), effectiveDpi(units.systemDpi));
}
