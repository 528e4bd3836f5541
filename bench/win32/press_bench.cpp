// How far a hotkey's recorded tick lies from the moment its key went down.
// The program's windows, keyboard and poller run in this process, another
// window is in front, and 50 Lap taps come at no fixed phase of the poll cycle.
#include <windows.h>
// after windows.h
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "stopwatch.h"
#include "ui_test_support.h"

namespace {

LapRecord lastRecord(Stopwatch& sw, std::size_t* count) {
    std::lock_guard<std::mutex> guard(sw.lock);
    *count = sw.laps.size();
    return sw.laps.empty() ? LapRecord{} : sw.laps.back();
}

}  // namespace

int main() {
    timeBeginPeriod(1);
    MorviSession session(iniWith({{"Start", "59,F1"}, {"Lap", "62,F4"}}));
    if (!session.started()) return 1;
    const HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 300, 200, 100,
                                       nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(other);
    Stopwatch& sw = processStopwatch();
    pressKey(0x3B);
    std::vector<int> errors;
    for (int i = 0; i < 50; ++i) {
        std::size_t before = 0, now = 0;
        lastRecord(sw, &before);
        const DWORD sent = timeGetTime();
        keyDown(0x3E);
        if (pumpUntil([&] { return lastRecord(sw, &now), now > before; }, 3000))
            errors.push_back(static_cast<int>(lastRecord(sw, &now).tick - sent));
        keyUp(0x3E);
        pumpFor(60 + static_cast<DWORD>(i * 37) % 110);
    }
    DestroyWindow(other);
    session.stop();
    timeEndPeriod(1);
    std::sort(errors.begin(), errors.end());
    if (errors.empty()) return 1;
    std::printf("| press to record, recorded tick less key down, of %zu taps: p50 / p95 / max | %d / %d / %d ms |\n",
                errors.size(), errors[errors.size() / 2], errors[std::min(errors.size() - 1, errors.size() * 95 / 100)],
                errors.back());
    return 0;
}
