#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "settings/screen_units.h"
#include "tests/test_support.h"

namespace {

constexpr std::int32_t maxInt = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t minInt = std::numeric_limits<std::int32_t>::min();

TEST(ScreenUnits, LengthsScaleRoundedAndComeBackUnchanged) {
    EXPECT_EQ(toScreenPixels(200, 144), 300);
    EXPECT_EQ(toScreenPixels(28, 120), 35);
    EXPECT_EQ(toScreenPixels(-7, 144), -11);  // -10.5: half away from zero
    EXPECT_EQ(toScreenPixels(5, 72), 5);      // below 96 counts as 96
    EXPECT_EQ(toFilePixels(450, 144), 300);
    EXPECT_EQ(toScreenPixels(maxInt, 192), maxInt);
    EXPECT_EQ(toScreenPixels(minInt, 144), minInt);
    for (int dpi : {96, 120, 144, 192})
        for (std::int32_t v = -5000; v <= 5000; ++v) ASSERT_EQ(toFilePixels(toScreenPixels(v, dpi), dpi), v) << dpi;
}

TEST(ScreenUnits, AFileLoadedAndSavedStaysByteForByte) {
    const std::string file = iniWith({{"Left", "-1913"},
                                      {"Top", std::to_string(minInt)},
                                      {"Right", std::to_string(maxInt)},
                                      {"Bottom", "7"},
                                      {"Height", "-17"}});
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        Settings s{};
        ScreenUnits units;
        units.dpi = units.systemDpi = dpi;
        std::string text = file;
        for (int start = 0; start < 3; ++start) {
            parseSettingsText(s, text.data(), text.size());
            settingsToScreen(s, units);
            text = formatSettingsFile(settingsForFile(s, units));
            EXPECT_EQ(text, file);
        }
        EXPECT_EQ(s.windowRect.bottom, toScreenPixels(7, dpi));
        // A value changed on the screen is converted back.
        s.windowRect.left = toScreenPixels(-300, dpi);
        EXPECT_EQ(settingsForFile(s, units).windowRect.left, -300);
    }
}

// Monitors of different scales: places at the system's, sizes at the
// window's own. A window moved to a monitor at 150 % and back, or saved
// there and loaded again, keeps its file's values to the pixel.
TEST(ScreenUnits, PlacesKeepTheSystemsScaleAndSizesTheWindowsOwn) {
    EXPECT_EQ(rectToScreen(RECT{100, 80, 340, 190}, 96, 144).left, 100);
    EXPECT_EQ(rectToScreen(RECT{100, 80, 340, 190}, 96, 144).right, 100 + 360);
    EXPECT_EQ(rectToScreen(RECT{100, 80, 340, 190}, 144, 96).bottom, 120 + 110);
    const std::string file =
        iniWith({{"Left", "100"}, {"Right", "341"}, {"Top", "-80"}, {"Bottom", "33"}, {"Height", "-17"}});
    for (const int systemDpi : {96, 144})
        for (const int other : {120, 144, 192, 96}) {
            SCOPED_TRACE(systemDpi * 1000 + other);
            Settings s{};
            ScreenUnits units;
            units.dpi = units.systemDpi = systemDpi;
            parseSettingsText(s, file.data(), file.size());
            settingsToScreen(s, units);
            const Settings before = s;
            changeScreenDpi(s, units, other);
            EXPECT_EQ(s.windowRect.left, before.windowRect.left);
            EXPECT_EQ(s.windowRect.right - s.windowRect.left, toScreenPixels(241, other));
            EXPECT_EQ(s.displayFont.lfHeight, toScreenPixels(-17, other));
            EXPECT_EQ(formatSettingsFile(settingsForFile(s, units)), file);  // saved on that monitor
            changeScreenDpi(s, units, systemDpi);
            EXPECT_EQ(std::memcmp(&s.windowRect, &before.windowRect, sizeof(RECT)), 0);
            EXPECT_EQ(s.displayFont.lfHeight, before.displayFont.lfHeight);
            // Moved there by hand: the new place and size are what is saved.
            changeScreenDpi(s, units, other);
            s.windowRect.left += 30;
            s.windowRect.right += 30;
            const RECT saved = settingsForFile(s, units).windowRect;
            EXPECT_EQ(saved.right - saved.left, 241);
            EXPECT_EQ(saved.left, toFilePixels(before.windowRect.left + 30, systemDpi));
        }
}

// The font dialog counts points at the system's DPI, Morvi the monitor's.
TEST(ScreenUnits, TheFontDialogCountsPointsAtTheSystemsScale) {
    ScreenUnits units;
    units.systemDpi = 96;
    units.dpi = 144;
    // Height 24 on a monitor at 150 % beside one at 100 %: 18 points, not 27;
    // and 18 points chosen there is kept as 24, not 16.
    EXPECT_EQ(heightForFontDialog(toScreenPixels(24, units.dpi), units), 24);
    EXPECT_EQ(toFilePixels(heightFromFontDialog(-24, units), units.dpi), -24);
}

}  // namespace
