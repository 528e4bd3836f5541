// How far a hotkey's recorded tick lies from the moment its key went down,
// and what the poller costs under a storm of empty wake-ups. The program's
// windows, keyboard and poller run in this process, another window is in
// front, and the Lap taps come at no fixed phase.
#include <windows.h>
// after windows.h
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "input/keyboard_device.h"
#include "tests/ui_test_support.h"
#include "ui/main_window_proc.h"

namespace {

ULONGLONG threadCpu100ns(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    const auto value = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

struct Tap {
    int recordedLessDown;  // the lap's tick less the key-down's
    int recordedAfterMs;   // how long after the key-down it was there
};

// `taps` Lap taps at no fixed phase; one entry for each that was recorded.
std::vector<Tap> lapTaps(int taps, DWORD gapMs) {
    std::vector<Tap> out;
    for (int i = 0; i < taps; ++i) {
        const std::size_t before = lapsNow().size();
        const DWORD sent = timeGetTime();
        keyDown(0x3E);
        if (pumpUntil([&] { return lapsNow().size() > before; }, 3000))
            out.push_back(Tap{static_cast<int>(lapsNow().back().tick - sent), static_cast<int>(timeGetTime() - sent)});
        keyUp(0x3E);
        pumpFor(gapMs + static_cast<DWORD>(i * 37) % 110);
    }
    return out;
}

}  // namespace

int main() {
    timeBeginPeriod(1);
    MorviSession session(iniWith({{"Start", "59,F1"}, {"Lap", "62,F4"}}));
    if (!session.started()) return 1;
    const HWND other = windowInFront();
    pressKey(0x3B);
    std::vector<int> errors;
    for (const Tap& t : lapTaps(50, 60)) errors.push_back(t.recordedLessDown);
    // A storm of empty wake-ups, as from a driver that signals without events:
    // what the poller thread costs, and how soon a real press still acts.
    std::atomic<bool> storming{true};
    const HANDLE keyEvent = keyboardDevice.load()->inputEvent;
    std::thread storm([&] {
        while (storming) SetEvent(keyEvent);
    });
    const ULONGLONG cpuBefore = threadCpu100ns(hotkeyPollerThread);
    const DWORD stormStart = timeGetTime();
    std::vector<int> stormLatencies;
    for (const Tap& t : lapTaps(20, 100)) stormLatencies.push_back(t.recordedAfterMs);
    const double seconds = (timeGetTime() - stormStart) / 1000.0;
    const double cpuMsPerSecond = static_cast<double>(threadCpu100ns(hotkeyPollerThread) - cpuBefore) / 1e4 / seconds;
    storming = false;
    storm.join();
    DestroyWindow(other);
    session.stop();
    timeEndPeriod(1);
    std::sort(errors.begin(), errors.end());
    std::sort(stormLatencies.begin(), stormLatencies.end());
    if (errors.empty() || stormLatencies.empty()) return 1;
    std::printf("| press to record, recorded tick less key down, of %zu taps: p50 / p95 / max | %d / %d / %d ms |\n",
                errors.size(), errors[errors.size() / 2], errors[std::min(errors.size() - 1, errors.size() * 95 / 100)],
                errors.back());
    std::printf("| poller thread CPU under a storm of empty wake-ups | %.1f ms per second |\n", cpuMsPerSecond);
    std::printf("| key down to lap recorded during the storm, of %zu taps: median / max | %d / %d ms |\n",
                stormLatencies.size(), stormLatencies[stormLatencies.size() / 2], stormLatencies.back());
    return 0;
}
