#include <gtest/gtest.h>

#include <windows.h>
// after windows.h
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

#include "input/hotkey_poller.h"
#include "input/keyboard_device.h"
#include "platform/system_libraries.h"
#include "settings/settings.h"
#include "tests/send_key.h"
#include "tests/ui_test_support.h"
#include "ui/main_window_proc.h"

namespace {

int foregroundAsked = 0;
HWND foregroundIs = nullptr;
HWND fakeForeground() {
    ++foregroundAsked;
    return foregroundIs;
}

TEST(HotkeyPoller, GateOnOptionsDialogAndForeground) {
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
int WINAPI countBox(HWND, LPCWSTR, LPCWSTR caption, UINT) {
    if (std::wcscmp(caption, L"DirectInput ERROR") == 0) ++boxesShown;
    return IDOK;
}

// A stand-in for the DirectInput keyboard, put into a KeyboardDevice record in
// place of the real one: it can lose its input (and signal it, as DirectInput
// does), refuse Acquire, fail reads, shift stamps and signal with nothing
// queued. The poller thread and the test both call it. Like any COM object it
// is never deleted through its interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct FakeKeyboard : IDirectInputDeviceA {
    std::mutex lock;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    unsigned char keys[256] = {};
    std::vector<DIDEVICEOBJECTDATA> queue;
    bool acquired = true, refuseAcquire = false, signalWhenEmpty = false;
    HRESULT failReads = DI_OK;
    DWORD stampShift = 0;
    int dataReads = 0, acquires = 0;

    ~FakeKeyboard() { CloseHandle(event); }
    template <typename F>
    auto with(F f) {
        std::lock_guard<std::mutex> g(lock);
        return f();
    }
    void key(BYTE code, bool down) {
        std::lock_guard<std::mutex> g(lock);
        keys[code] = down ? 0x80 : 0;
        queue.push_back(DIDEVICEOBJECTDATA{code, down ? 0x80u : 0u, GetTickCount() + stampShift, 0});
        SetEvent(event);
    }
    void loseInput() {
        std::lock_guard<std::mutex> g(lock);
        acquired = false;
        SetEvent(event);
    }
    HRESULT readResult() { return failReads != DI_OK ? failReads : acquired ? DI_OK : DIERR_NOTACQUIRED; }

    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override {
        std::lock_guard<std::mutex> g(lock);
        if (readResult() == DI_OK) std::memcpy(data, keys, std::min<DWORD>(size, sizeof keys));
        return readResult();
    }
    STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA data, LPDWORD inOut, DWORD) override {
        std::lock_guard<std::mutex> g(lock);
        ++dataReads;
        if (readResult() != DI_OK) return readResult();
        const DWORD n = std::min<DWORD>(*inOut, static_cast<DWORD>(queue.size()));
        std::copy(queue.begin(), queue.begin() + n, data);
        queue.erase(queue.begin(), queue.begin() + n);
        *inOut = n;
        if (n == 0 && signalWhenEmpty) SetEvent(event);  // a driver that signals too often
        return DI_OK;
    }
    STDMETHOD(Acquire)() override {
        std::lock_guard<std::mutex> g(lock);
        ++acquires;
        if (refuseAcquire) return DIERR_OTHERAPPHASPRIO;
        acquired = true;
        return DI_OK;
    }
    STDMETHOD(Unacquire)() override { return DI_OK; }
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetCapabilities)(LPDIDEVCAPS) override { return E_NOTIMPL; }
    STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return E_NOTIMPL; }
    STDMETHOD(SetProperty)(REFGUID, LPCDIPROPHEADER) override { return E_NOTIMPL; }
    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT) override { return E_NOTIMPL; }
    STDMETHOD(SetEventNotification)(HANDLE) override { return E_NOTIMPL; }
    STDMETHOD(SetCooperativeLevel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEA) override { return E_NOTIMPL; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return E_NOTIMPL; }
};
#pragma GCC diagnostic pop

// The poller thread run on a stand-in keyboard, F1 bound to Start and F4 to Lap.
struct PollerOnFake : ::testing::Test {
    FakeKeyboard fake;
    KeyboardDevice device{};
    HWND window = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    HANDLE thread = nullptr;

    void SetUp() override {
        ASSERT_TRUE(loadWinmm());
        Stopwatch& sw = processStopwatch();
        sw.clock = TickSource{[](void*) -> Tick { return systemTime(); }, nullptr};
        applyCommand(sw, StopwatchCommand::Reset, 0);
        sw.state.quitRequested.store(0);  // as a session's end left it
        processSettings() = Settings{};
        processSettings().keyBindings[BindStart].code = 0x3B;
        processSettings().keyBindings[BindLap].code = 0x3E;
        std::memset(&pressTracker, 0, sizeof pressTracker);
        keyboardWindow = window;
        keyboardMessageBox = countBox;
        boxesShown = 0;
        device.keyboard = &fake;
        device.buffered = 1;
        device.inputEvent = fake.event;
        keyboardDevice.store(&device);
        hotkeyPollerWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, runHotkeyPoller, window, 0, nullptr);
    }
    void TearDown() override {
        processStopwatch().state.quitRequested.store(1);
        wakeHotkeyPoller();
        EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);  // at once, not after a cycle
        CloseHandle(thread);
        CloseHandle(hotkeyPollerWake);
        hotkeyPollerWake = nullptr;
        processStopwatch().state.quitRequested.store(0);
        keyboardDevice.store(nullptr);
        keyboardMessageBox = MessageBoxW;
        DestroyWindow(window);
    }
    void tap(BYTE code) {
        fake.key(code, true);
        Sleep(40);
        fake.key(code, false);
    }
    bool laps(std::size_t n) {
        return pumpUntil([&] { return lapsNow().size() == n; });
    }
};

TEST_F(PollerOnFake, AKeyboardAnotherProgramHoldsIsSilentAndComesBack) {
    tap(0x3B);
    ASSERT_TRUE(laps(1));
    fake.with([&] { fake.refuseAcquire = true; });
    fake.loseInput();
    pumpFor(500);
    const int acquires = fake.with([&] {
        fake.refuseAcquire = false;
        return fake.acquires;
    });
    EXPECT_GE(acquires, 2);  // by the 90 ms cycle, not at every wake
    EXPECT_LE(acquires, 500 / 90 + 2);
    pumpFor(200);
    tap(0x3E);
    EXPECT_TRUE(laps(2));
    EXPECT_EQ(boxesShown, 0);
    // A read that fails for another reason shows its two boxes, once.
    fake.with([&] { fake.failReads = DIERR_GENERIC; });
    fake.loseInput();
    pumpFor(400);
    EXPECT_EQ(boxesShown, 2);
}

TEST_F(PollerOnFake, EmptyWakeUpsDoNotSpinAndARealPressStillActs) {
    tap(0x3B);
    ASSERT_TRUE(laps(1));
    const int before = fake.with([&] {
        fake.signalWhenEmpty = true;
        return fake.dataReads;
    });
    SetEvent(fake.event);
    const DWORD start = GetTickCount();
    Sleep(500);
    tap(0x3E);
    EXPECT_TRUE(laps(2));
    const int reads = fake.with([&] {
        fake.signalWhenEmpty = false;
        return fake.dataReads;
    }) - before;
    EXPECT_LE(reads, static_cast<int>(GetTickCount() - start) / 4 + 5);  // one read per 5 ms pause at most
    EXPECT_GE(reads, 20);
}

TEST_F(PollerOnFake, AnImpossibleStampTimesThePressAtItsDrain) {
    tap(0x3B);
    ASSERT_TRUE(laps(1));
    fake.with([&] { fake.stampShift = static_cast<DWORD>(-3600000); });  // an hour early
    const Tick sent = systemTime();
    tap(0x3E);
    ASSERT_TRUE(laps(2));
    const int error = static_cast<int>(lapsNow().back().tick - sent);
    EXPECT_GE(error, 0);
    EXPECT_LE(error, 100);
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
    EXPECT_EQ(lapsNow().size(), 3u);
}

TEST(HotkeysEndToEnd, EveryShortTapCountsWithAnotherWindowInFront) {
    MorviSession session(iniWith({{"Start", "59,F1"}, {"Lap", "62,F4"}}));
    ASSERT_TRUE(session.started());
    const HWND other = windowInFront();
    Stopwatch& sw = processStopwatch();
    pressKey(0x3B);
    ASSERT_EQ(sw.state.running.load(), 1);
    tapKey(0x3E, 20, 30, pumpFor);
    pumpFor(300);
    DestroyWindow(other);
    EXPECT_EQ(lapsNow().size(), 21u);  // the start and twenty laps
}

TEST(HotkeysEndToEnd, PressesActAtOnceInOrderAtTheirOwnTicks) {
    MorviSession session(iniWith({{"Start", "59,F1"}, {"Stop", "60,F2"}, {"Lap", "62,F4"}}));
    ASSERT_TRUE(session.started());
    const HWND other = windowInFront();
    Stopwatch& sw = processStopwatch();
    const HWND box = GetDlgItem(lapTimeWindow.load(), 40401);
    pressKey(0x3B);
    std::vector<DWORD> latencies;
    for (int i = 0; i < 5; ++i) {
        const int before = GetWindowTextLengthA(box);
        const DWORD sent = timeGetTime();
        keyDown(0x3E);
        ASSERT_TRUE(pumpUntil([&] { return GetWindowTextLengthA(box) != before; }));
        latencies.push_back(timeGetTime() - sent);
        const int error = static_cast<int>(lapsNow().back().tick - sent);
        EXPECT_GE(error, -5);
        EXPECT_LE(error, 5);
        keyUp(0x3E);
        pumpFor(60 + 23 * i);
    }
    std::sort(latencies.begin(), latencies.end());
    EXPECT_LE(latencies[2], 20u);
    // Lap, then Stop 20 ms later: the lap is kept, before the stop.
    keyDown(0x3E);
    pumpFor(10);
    keyUp(0x3E);
    pumpFor(10);
    keyDown(0x3C);
    ASSERT_TRUE(pumpUntil([&] { return sw.state.running.load() == 0; }));
    keyUp(0x3C);
    DestroyWindow(other);
    const LapList laps = lapsNow();
    ASSERT_EQ(laps.size(), 8u);  // start, six laps, stop
    EXPECT_EQ(laps[6].marker, 0);
    EXPECT_LT(laps[6].tick, laps[7].tick);
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
