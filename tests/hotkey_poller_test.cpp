#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hotkey_poller.h"
#include "keyboard_device.h"
#include "main_window_proc.h"
#include "settings.h"
#include "ui_test_support.h"

namespace {

using C = StopwatchCommand;

struct Keys {
    unsigned char bytes[256] = {};
    Keys& down(int code) {
        bytes[code] = 0x80;
        return *this;
    }
};

std::vector<C> fired(const Keys& previous, const Keys& current, std::initializer_list<std::int32_t> codes) {
    std::int32_t bindings[5] = {};
    int i = 0;
    for (std::int32_t c : codes) bindings[i++] = c;
    C out[5];
    const int n = hotkeyCommands(previous.bytes, current.bytes, bindings, out);
    return std::vector<C>(out, out + n);
}

TEST(HotkeyDecisions, OnlyKeysThatWentDownFire) {
    const Keys none;
    Keys f1;
    f1.down(0x3B);
    // The first cycle compares with an all-zero snapshot: a key already down fires.
    EXPECT_EQ(fired(none, f1, {0x3B, 0x3C, 0x3D, 0x3E, 0x3F}), std::vector<C>{C::Start});
    // Held down: no second press.
    EXPECT_TRUE(fired(f1, f1, {0x3B, 0x3C, 0x3D, 0x3E, 0x3F}).empty());
    // Released: nothing.
    EXPECT_TRUE(fired(f1, none, {0x3B, 0x3C, 0x3D, 0x3E, 0x3F}).empty());
    // Only bit 7 counts.
    Keys low;
    low.bytes[0x3B] = 0x7F;
    EXPECT_TRUE(fired(none, low, {0x3B, 0, 0, 0, 0}).empty());
    Keys high;
    high.bytes[0x3B] = 0x81;
    EXPECT_TRUE(fired(high, f1, {0x3B, 0, 0, 0, 0}).empty());
}

TEST(HotkeyDecisions, SharedKeysFireInTableOrder) {
    Keys space;
    space.down(0x39);
    EXPECT_EQ(fired(Keys{}, space, {0x39, 0x39, 0, 0x39, 0x39}), (std::vector<C>{C::Start, C::Stop, C::Lap, C::Next}));
    Keys two;
    two.down(0x3F).down(0x3B);
    EXPECT_EQ(fired(Keys{}, two, {0x3B, 0x3C, 0x3D, 0x3E, 0x3F}), (std::vector<C>{C::Start, C::Next}));
}

TEST(HotkeyDecisions, UnboundAndOutOfRangeCodesNeverFire) {
    Keys all;
    for (int i = 0; i < 256; ++i) all.bytes[i] = 0x80;
    EXPECT_TRUE(fired(Keys{}, all, {0, 999, -5, 256, -2147483647 - 1}).empty());
    EXPECT_EQ(fired(Keys{}, all, {255, 1, 0, 0, 0}), (std::vector<C>{C::Start, C::Stop}));
}

int foregroundAsked = 0;
HWND foregroundIs = nullptr;
HWND fakeForeground() {
    ++foregroundAsked;
    return foregroundIs;
}

TEST(HotkeyDecisions, GateOnOptionsDialogAndForeground) {
    const HWND main = reinterpret_cast<HWND>(0x1234);
    foregroundAsked = 0;
    EXPECT_TRUE(hotkeyStepAllowed(0, 0, main, fakeForeground));
    EXPECT_TRUE(hotkeyStepAllowed(0, 2, main, fakeForeground));  // only exactly 1 restricts
    EXPECT_EQ(foregroundAsked, 0);
    EXPECT_FALSE(hotkeyStepAllowed(1, 0, main, fakeForeground));
    EXPECT_FALSE(hotkeyStepAllowed(7, 0, main, fakeForeground));  // any nonzero blocks
    foregroundIs = reinterpret_cast<HWND>(0x9999);                // the lap-time window, say
    EXPECT_FALSE(hotkeyStepAllowed(0, 1, main, fakeForeground));
    foregroundIs = main;
    EXPECT_TRUE(hotkeyStepAllowed(0, 1, main, fakeForeground));
    EXPECT_EQ(foregroundAsked, 2);
}

TEST(KeyboardDevice, SeesKeysPressedWithSendInput) {
    MorviSession session;
    ASSERT_TRUE(session.started());
    KeyboardDevice* device = keyboardDevice.load();
    ASSERT_NE(device, nullptr);
    ASSERT_NE(device->directInput, nullptr);
    ASSERT_NE(device->keyboard, nullptr);
    EXPECT_EQ(device->unusedDevice, nullptr);

    unsigned char snapshot[256];
    keyDown(0x21);  // F
    ASSERT_TRUE(pumpUntil([&] { return readKeyboardState(snapshot) == 1 && (snapshot[0x21] & 0x80); }));
    keyUp(0x21);
    ASSERT_TRUE(pumpUntil([&] { return readKeyboardState(snapshot) == 1 && !(snapshot[0x21] & 0x80); }));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(snapshot[i] & 0x80, 0) << i;
}

TEST(KeyboardDevice, ResultTextIsLowerCaseHex) {
    char text[16];
    formatDirectInputResult(DIERR_INPUTLOST, text, sizeof text);
    EXPECT_STREQ(text, "8007001e");
    formatDirectInputResult(1, text, sizeof text);
    EXPECT_STREQ(text, "1");
}

TEST(KeyboardDevice, ReleaseEmptiesTheRecordAndReadsAfterItFail) {
    KeyboardDevice device{};
    releaseKeyboardDevice(&device);  // nothing to release: no crash
    EXPECT_EQ(device.keyboard, nullptr);
    unsigned char snapshot[256];
    std::memset(snapshot, 0x55, sizeof snapshot);
    ASSERT_EQ(keyboardDevice.load(), nullptr);  // unpublished once the program ended
    EXPECT_EQ(readKeyboardState(snapshot), 0);
    EXPECT_EQ(snapshot[10], 0x55);
}

TEST(HotkeysEndToEnd, BoundKeysDriveTheStopwatch) {
    MorviSession session(iniWith({{"Start", "59,F1"}, {"Stop", "60,F2"}, {"Lap", "62,F4"}}));
    ASSERT_TRUE(session.started());
    Stopwatch& sw = processStopwatch();
    sendCommand(session.window(), 40107);  // the lap-time window shown
    pressKey(0x3B);
    ASSERT_TRUE(pumpUntil([&] { return sw.state.running.load() == 1; }));
    pressKey(0x3E);
    ASSERT_TRUE(pumpUntil([&] { return buildLapReport(sw, {}) != " "; }));
    pressKey(0x3C);
    ASSERT_TRUE(pumpUntil([&] { return sw.state.running.load() == 0; }));
    // The hotkey Stop refreshed the lap-time window from the poller thread.
    char text[512] = {};
    ASSERT_TRUE(pumpUntil([&] {
        GetDlgItemTextA(lapTimeWindow.load(), 40401, text, sizeof text);
        return std::strstr(text, "Total Time") != nullptr;
    }));
    EXPECT_EQ(std::string(text), buildLapReport(sw, currentTextSettings()));
    std::lock_guard<std::mutex> guard(sw.lock);
    EXPECT_EQ(sw.laps.size(), 3u);
}

TEST(HotkeysEndToEnd, NothingActsWhileTheOptionsFlagIsSet) {
    MorviSession session(iniWith({{"Start", "59,F1"}}));
    ASSERT_TRUE(session.started());
    processStopwatch().state.optionsOpen.store(1);
    keyDown(0x3B);
    pumpFor(400);
    // Cleared while the key is still down: the press was seen and is not acted on later.
    processStopwatch().state.optionsOpen.store(0);
    pumpFor(300);
    keyUp(0x3B);
    pumpFor(300);
    EXPECT_EQ(processStopwatch().state.running.load(), 0);
}

TEST(HotkeysEndToEnd, DragMovesTheWindowWithTheCursor) {
    MorviSession session(iniWith({{"Left", "100"}, {"Right", "300"}, {"Top", "100"}, {"Bottom", "200"}}));
    ASSERT_TRUE(session.started());
    RECT before{};
    GetWindowRect(session.window(), &before);
    POINT cursor{};
    GetCursorPos(&cursor);
    dragState.lastCursorX.store(cursor.x - 30);
    dragState.lastCursorY.store(cursor.y - 10);
    dragState.dragging.store(1);
    ASSERT_TRUE(pumpUntil([&] {
        RECT now{};
        GetWindowRect(session.window(), &now);
        return now.left == before.left + 30 && now.top == before.top + 10 && dragState.lastCursorX.load() == cursor.x;
    }));
    dragState.dragging.store(0);
    EXPECT_EQ(processSettings().windowRect.left, before.left + 30);
    EXPECT_EQ(dragState.lastCursorX.load(), cursor.x);
}

}  // namespace
