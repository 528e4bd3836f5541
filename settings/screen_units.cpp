#include "screen_units.h"

#include <limits>

namespace {

int effectiveDpi(int dpi) { return dpi < 96 ? 96 : dpi; }

std::int32_t roundedRatio(std::int64_t value, std::int64_t numerator, std::int64_t denominator) {
    const std::int64_t product = value * numerator;
    const std::int64_t half = denominator / 2;
    const std::int64_t q = (product >= 0 ? product + half : product - half) / denominator;
    if (q > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (q < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(q);
}

// The five values that are lengths or places, in a fixed order.
template <typename Record>
auto scaledMember(Record& s, int i) -> decltype(&s.windowRect.left) {
    switch (i) {
    case 0: return &s.windowRect.left;
    case 1: return &s.windowRect.top;
    case 2: return &s.windowRect.right;
    case 3: return &s.windowRect.bottom;
    default: return &s.displayFont.lfHeight;
    }
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

void settingsToScreen(Settings& s, ScreenUnits& units) {
    for (int i = 0; i < 5; ++i) {
        LONG* member = scaledMember(s, i);
        const std::int32_t file = sharedLoad(*member);
        const std::int32_t screen = toScreenPixels(file, units.dpi);
        sharedStore(*member, static_cast<LONG>(screen));
        units.filePixels[i] = file;
        units.screenPixels[i] = screen;
    }
    units.remembered = 1;
}

Settings settingsForFile(const Settings& s, const ScreenUnits& units) {
    Settings out = s;
    for (int i = 0; i < 5; ++i) {
        const std::int32_t screen = sharedLoad(*scaledMember(s, i));
        const bool unchanged = units.remembered == 1 && screen == units.screenPixels[i];
        *scaledMember(out, i) = static_cast<LONG>(unchanged ? units.filePixels[i] : toFilePixels(screen, units.dpi));
    }
    return out;
}
