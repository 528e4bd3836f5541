#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "screen_units.h"
#include "test_support.h"

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
        units.dpi = dpi;
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

}  // namespace
