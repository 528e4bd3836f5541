#include <gtest/gtest.h>

#include <cstring>

#include "options_dialog.h"
#include "settings.h"

namespace {

struct Keys {
    unsigned char bytes[256] = {};
    Keys& down(int code) {
        bytes[code] = 0x80;
        return *this;
    }
};

TEST(HotkeyCapture, TheLowestNewKeyGoesToTheFirstArmedBinding) {
    Settings s{};
    std::int32_t armed[BindingCount] = {0, 1, 0, 1, 0};
    Keys up, down;
    down.down(0x3B).down(0x1D);  // F1 and Ctrl: Ctrl has the lower code
    EXPECT_EQ(captureNewKey(s, armed, down.bytes, up.bytes), 1);
    EXPECT_EQ(s.keyBindings[1].code, 0x1D);
    EXPECT_STREQ(s.keyBindings[1].name, "Ctrl (Left)");
    EXPECT_EQ(armed[1], 0);
    EXPECT_EQ(armed[3], 1);
    // A key still down since the last key-up is not new.
    up.down(0x1D);
    EXPECT_EQ(captureNewKey(s, armed, down.bytes, up.bytes), 3);
    EXPECT_EQ(s.keyBindings[3].code, 0x3B);
    EXPECT_STREQ(s.keyBindings[3].name, "F1");
    // Nothing armed any more.
    Keys later;
    later.down(0x10);
    EXPECT_EQ(captureNewKey(s, armed, later.bytes, Keys{}.bytes), -1);
}

TEST(HotkeyCapture, UnnamedKeysChangeNothingAndKeepTheBindingArmed) {
    Settings s{};
    std::int32_t armed[BindingCount] = {1, 0, 0, 0, 0};
    for (int code : {0x3A, 0x90, 0x00}) {
        Keys down;
        down.down(code);
        EXPECT_EQ(captureNewKey(s, armed, down.bytes, Keys{}.bytes), -1) << code;
        EXPECT_EQ(armed[0], 1);
        EXPECT_EQ(s.keyBindings[0].code, 0);
    }
    // Caps Lock is lower than F1 and wins the search, so F1 held with it is refused too.
    Keys both;
    both.down(0x3A).down(0x3B);
    EXPECT_EQ(captureNewKey(s, armed, both.bytes, Keys{}.bytes), -1);
    EXPECT_EQ(findNewKey(Keys{}.bytes, Keys{}.bytes), -1);
    EXPECT_EQ(findNewKey(both.bytes, Keys{}.bytes), 0x3A);
}

}  // namespace
