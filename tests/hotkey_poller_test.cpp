#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hotkey_poller.h"
#include "keyboard_device.h"
#include "main_window_proc.h"
#include "send_key.h"
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

// One cycle's commands from its two snapshots and buffered events; `taken`
// carries over between the cycles of one test.
std::vector<C> fired(const Keys& previous, const Keys& current, std::initializer_list<std::int32_t> codes,
                     std::vector<KeyEvent> events = {}, unsigned char* taken = nullptr) {
    unsigned char fresh[256] = {};
    unsigned char pressed[256];
    keysPressedSince(previous.bytes, current.bytes, events.data(), static_cast<int>(events.size()),
                     taken ? taken : fresh, pressed);
    std::int32_t bindings[5] = {};
    int i = 0;
    for (std::int32_t c : codes) bindings[i++] = c;
    C out[5];
    const int n = hotkeyCommands(pressed, bindings, out);
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

TEST(HotkeyDecisions, BufferedPressesBetweenSnapshotsFireOnce) {
    const Keys up;
    Keys f1;
    f1.down(0x3B);
    const std::vector<C> start{C::Start};
    // A tap wholly between two snapshots, twice in one cycle: one Start.
    EXPECT_EQ(fired(up, up, {0x3B}, {{0x3B, 1}, {0x3B, 0}, {0x3B, 1}, {0x3B, 0}}), start);
    // Down just after the snapshot: its event fires now, the next cycle's edge
    // is the same press, and holding it fires nothing more.
    unsigned char taken[256] = {};
    EXPECT_EQ(fired(up, up, {0x3B}, {{0x3B, 1}}, taken), start);
    EXPECT_TRUE(fired(up, f1, {0x3B}, {}, taken).empty());
    EXPECT_TRUE(fired(f1, f1, {0x3B}, {}, taken).empty());
    // Released and pressed again: a new press, by event or, after an overflow
    // lost the events, by the edge.
    EXPECT_EQ(fired(f1, f1, {0x3B}, {{0x3B, 0}, {0x3B, 1}}, taken), start);
    EXPECT_TRUE(fired(f1, up, {0x3B}, {{0x3B, 0}}, taken).empty());
    EXPECT_EQ(fired(up, f1, {0x3B}, {}, taken), start);
}

TEST(HotkeyDecisions, APressTakenWhileHotkeysAreBlockedNeverFiresLater) {
    const Keys up;
    Keys f1;
    f1.down(0x3B);
    unsigned char taken[256] = {};
    fired(up, up, {0x3B}, {{0x3B, 1}}, taken);  // the options dialog is open: not applied
    EXPECT_TRUE(fired(up, f1, {0x3B}, {}, taken).empty());
    EXPECT_TRUE(fired(f1, f1, {0x3B}, {}, taken).empty());
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

int boxesShown = 0;
int WINAPI countBox(HWND, LPCSTR, LPCSTR caption, UINT) {
    if (std::strcmp(caption, "DirectInput ERROR") == 0) ++boxesShown;
    return IDOK;
}

TEST(KeyboardDevice, AReadThatKeepsFailingShowsOnePairOfBoxes) {
    const HWND window = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
    keyboardInstance = GetModuleHandleA(nullptr);
    keyboardWindow = window;
    KeyboardDevice device{};
    createKeyboardDevice(&device);
    ASSERT_NE(device.keyboard, nullptr);
    EXPECT_EQ(device.buffered, 1);
    keyboardDevice.store(&device);
    keyboardMessageBox = countBox;
    boxesShown = 0;
    unsigned char snapshot[256];
    device.keyboard->Unacquire();  // every read now fails
    for (int i = 0; i < 5; ++i) EXPECT_EQ(readKeyboardState(snapshot), 0);
    EXPECT_EQ(boxesShown, 2);
    device.keyboard->Acquire();
    EXPECT_EQ(readKeyboardState(snapshot), 1);
    device.keyboard->Unacquire();  // a new run of failures
    readKeyboardState(snapshot);
    readKeyboardState(snapshot);
    EXPECT_EQ(boxesShown, 4);
    // The drain re-acquires, so the next read succeeds again.
    KeyEvent events[8];
    EXPECT_EQ(readKeyboardEvents(events, 8), 0);
    EXPECT_EQ(readKeyboardState(snapshot), 1);
    keyboardMessageBox = MessageBoxA;
    keyboardDevice.store(nullptr);
    releaseKeyboardDevice(&device);
    DestroyWindow(window);
}

TEST(HotkeyPoller, EndsAtQuitWhenNoKeyboardWasEverPublished) {
    ASSERT_EQ(keyboardDevice.load(), nullptr);
    processStopwatch().state.quitRequested.store(0);
    const HANDLE thread = CreateThread(nullptr, 0, runHotkeyPoller, nullptr, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    processStopwatch().state.quitRequested.store(1);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
    processStopwatch().state.quitRequested.store(0);
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

TEST(HotkeysEndToEnd, EveryShortTapCountsWithAnotherWindowInFront) {
    MorviSession session(iniWith({{"Start", "59,F1"}, {"Lap", "62,F4"}}));
    ASSERT_TRUE(session.started());
    const HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 300, 200, 100,
                                       nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(other);
    Stopwatch& sw = processStopwatch();
    pressKey(0x3B);
    ASSERT_EQ(sw.state.running.load(), 1);
    tapKey(0x3E, 20, 30, pumpFor);
    pumpFor(300);
    DestroyWindow(other);
    std::lock_guard<std::mutex> guard(sw.lock);
    EXPECT_EQ(sw.laps.size(), 21u);  // the start and twenty laps
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
