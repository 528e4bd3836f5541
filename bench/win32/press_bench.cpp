// How far a hotkey's recorded tick lies from the moment its key went down.
// The program's windows, keyboard and poller run in this process, another
// window is in front, and 50 Lap taps come at no fixed phase of the poll cycle.
#include <windows.h>
// after windows.h
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ui_test_support.h"

int main() {
    timeBeginPeriod(1);
    MorviSession session(iniWith({{"Start", "59,F1"}, {"Lap", "62,F4"}}));
    if (!session.started()) return 1;
    const HWND other = windowInFront();
    pressKey(0x3B);
    std::vector<int> errors;
    for (int i = 0; i < 50; ++i) {
        const std::size_t before = lapsNow().size();
        const DWORD sent = timeGetTime();
        keyDown(0x3E);
        if (pumpUntil([&] { return lapsNow().size() > before; }, 3000))
            errors.push_back(static_cast<int>(lapsNow().back().tick - sent));
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
