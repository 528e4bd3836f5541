// What Morvi.exe costs to run, side by side with a window that does nothing:
// start-up, CPU time, memory, hotkey latency and size. Prints a table.
//   cost_bench MORVI_EXE BASELINE_EXE MORVI_STRIPPED BASELINE_STRIPPED
#include <windows.h>
// after windows.h
#include <mmsystem.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/blackbox/morvi_process.h"
#include "tests/send_key.h"
#include "tests/test_support.h"

namespace {

struct Figures {
    double startupMs = 0;
    double cpuMsPer10s = 0;
    double cpuIdleMsPer10s = 0;
    double peakMiB10s = 0;
    double peakMiBLaps = -1;
    double latencyMedianMs = -1;
    double latencyP95Ms = -1;
    int tapsCaught30 = -1;
    int tapsCaught60 = -1;
    double sizeKiB = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Fifty Lap taps held `holdMs` while another window is in front: how many
// laps the report then shows.
int tapsCaught(MorviProcess& p, DWORD holdMs) {
    p.command(40103);
    p.command(40101);
    SetForegroundWindow(driverWindow());
    tapKey(0x3E, 50, holdMs, pumpDriver);
    pumpDriver(300);
    p.command(40102);
    p.command(40107);  // shown: the report is rebuilt
    pumpDriver(200);
    const std::string report = p.lapTimeText();
    PostMessageA(p.lapTimeWindow(), WM_COMMAND, MAKEWPARAM(40402, BN_CLICKED), 0);
    pumpDriver(200);
    return lapsInReport(report);
}

double percentile95(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, (v.size() * 95) / 100)];
}

// Wine's GetProcessTimes for another process is coarse, so the CPU time is
// read where the kernel keeps it: /proc/PID/stat of the Linux process that
// runs the program (Wine shows / as Z:), found by its command line.
double cpuMs(const std::string& exeName) {
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    double total = 0;
    do {
        if (entry.cFileName[0] < '0' || entry.cFileName[0] > '9') continue;
        const std::string dir = std::string("Z:\\proc\\") + entry.cFileName;
        std::string commandLine = readFileBytes(dir + "\\cmdline");
        for (char& c : commandLine)
            if (c == '\0') c = ' ';
        if (commandLine.find(exeName) == std::string::npos || commandLine.find("cost_bench") != std::string::npos)
            continue;
        const std::string stat = readFileBytes(dir + "\\stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        unsigned long long utime = 0, stime = 0;
        // Fields after the command: state, then 10 numbers, then utime and stime.
        if (std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                        &stime) == 2)
            total += static_cast<double>(utime + stime) * 10.0;  // clock ticks of 10 ms
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return total;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

double peakMiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

double fileKiB(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(windowsPath(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<double>(data.nFileSizeLow) / 1024.0;
}

// The Start, Stop and Lap hotkeys on F1, F2 and F4; no lap flash.
std::string benchIni() { return iniWith({{"Start", "59,F1"}, {"Stop", "60,F2"}, {"Lap", "62,F4"}, {"LapTime", "0"}}); }

// A program started in a scratch folder with the benchmark's settings.
bool startIn(const ScratchDir& dir, MorviProcess& p, const std::string& exe, const char* className) {
    morviExePath = exe;
    morviWindowClass = className;
    writeFileBytes(dir.file("Morvi.ini"), benchIni());
    return p.start(dir.path().string());
}

// CPU time over 10 s with nothing changing on the display, then over 10 s of
// a running stopwatch, and the peak working set then.
void measureCpu(MorviProcess& p, const std::string& exe, bool startIt, Figures& f) {
    pumpDriver(1000);
    double before = cpuMs(baseName(exe));
    pumpDriver(10000);
    f.cpuIdleMsPer10s = cpuMs(baseName(exe)) - before;
    if (startIt) {
        p.command(40101);
        before = cpuMs(baseName(exe));
        pumpDriver(10000);
        f.cpuMsPer10s = cpuMs(baseName(exe)) - before;
    }
    f.peakMiB10s = peakMiB(p.process());
    std::fprintf(stderr, "%s: CPU time measured\n", exe.c_str());
}

// What the screen shows of a rectangle, as a checksum.
struct ScreenProbe {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap;
    RECT area;
    std::vector<DWORD> pixels;
    explicit ScreenProbe(RECT r)
        : bitmap(CreateCompatibleBitmap(screen, r.right - r.left, r.bottom - r.top)),
          area(r),
          pixels(static_cast<std::size_t>((r.right - r.left) * (r.bottom - r.top))) {
        SelectObject(memory, bitmap);
    }
    ~ScreenProbe() {
        DeleteDC(memory);
        DeleteObject(bitmap);
        ReleaseDC(nullptr, screen);
    }
    ScreenProbe(const ScreenProbe&) = delete;
    ScreenProbe& operator=(const ScreenProbe&) = delete;
    unsigned long long read() {
        BitBlt(memory, 0, 0, area.right - area.left, area.bottom - area.top, screen, area.left, area.top, SRCCOPY);
        GetBitmapBits(bitmap, static_cast<LONG>(pixels.size() * sizeof(DWORD)), pixels.data());
        unsigned long long h = 1469598103934665603ull;
        for (const DWORD v : pixels) h = (h ^ v) * 1099511628211ull;
        return h;
    }
};

struct EdgeFigures {
    std::vector<double> lateMs;  // negative: the display turned before its edge
};

// How late the display shows each new second, read from the screen: 20 edges
// timed from the Start key's press, across three Stop/Start pauses.
EdgeFigures measureSecondEdges(const std::string& exe) {
    EdgeFigures f;
    ScratchDir dir;
    MorviProcess p;
    if (!startIn(dir, p, exe, "Morvi")) return f;
    RECT client{};
    GetClientRect(p.window(), &client);
    POINT origin{0, 0};
    ClientToScreen(p.window(), &origin);
    ScreenProbe probe(RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom / 2});
    SetForegroundWindow(driverWindow());
    pumpDriver(300);
    DWORD start = timeGetTime();
    keyDown(0x3B);
    pumpDriver(50);
    keyUp(0x3B);
    for (int k = 1; k <= 20; ++k) {
        const DWORD edge = start + static_cast<DWORD>(k) * 1000;
        while (static_cast<int>(edge - 30 - timeGetTime()) > 0) pumpDriver(1);
        const unsigned long long before = probe.read();
        DWORD changed = 0;
        while (static_cast<int>(timeGetTime() - edge) < 300) {
            const DWORD at = timeGetTime();
            if (probe.read() != before) {
                changed = at;
                break;
            }
        }
        if (changed != 0) f.lateMs.push_back(static_cast<double>(static_cast<int>(changed - edge)));
        if (k % 5 == 0) {
            // A pause of a different length each time, cut out on resume.
            pumpDriver(100);
            const DWORD stop = timeGetTime();
            keyDown(0x3C);
            pumpDriver(30);
            keyUp(0x3C);
            pumpDriver(150 + static_cast<DWORD>(k) * 23);
            const DWORD resume = timeGetTime();
            keyDown(0x3B);
            pumpDriver(30);
            keyUp(0x3B);
            start += resume - stop;
        }
    }
    p.close();
    return f;
}

Figures measure(const std::string& exe, const char* className, const std::string& stripped, bool isMorvi) {
    Figures f;
    morviExePath = exe;
    morviWindowClass = className;
    std::vector<double> startups;
    for (int i = 0; i < 5; ++i) {
        ScratchDir dir;
        writeFileBytes(dir.file("Morvi.ini"), benchIni());
        MorviProcess p;
        const DWORD begin = timeGetTime();
        if (!p.startWithoutSettling(dir.path().string())) continue;
        startups.push_back(static_cast<double>(timeGetTime() - begin));
        p.close();
    }
    f.startupMs = median(startups);
    std::fprintf(stderr, "%s: start-up measured\n", className);

    ScratchDir dir;
    MorviProcess p;
    if (!startIn(dir, p, exe, className)) return f;
    measureCpu(p, exe, isMorvi, f);
    if (isMorvi) {
        p.command(40107);  // the lap report is filled while its window is shown
        std::vector<double> latencies;
        for (int i = 0; i < 50; ++i) {
            SetForegroundWindow(driverWindow());
            const std::string before = p.lapTimeText();
            const DWORD down = timeGetTime();
            keyDown(0x3E);
            if (waitUntil([&] { return p.lapTimeText().size() != before.size(); }, 3000))
                latencies.push_back(static_cast<double>(timeGetTime() - down));
            else
                std::fprintf(stderr, "press %d not seen (report of %u bytes, visible %d)\n", i,
                             static_cast<unsigned>(before.size()), IsWindowVisible(p.lapTimeWindow()));
            keyUp(0x3E);
            pumpDriver(150 + (i * 37) % 100);  // presses at no fixed phase of the poll cycle
        }
        f.latencyMedianMs = median(latencies);
        f.latencyP95Ms = percentile95(latencies);
        f.tapsCaught30 = tapsCaught(p, 30);
        f.tapsCaught60 = tapsCaught(p, 60);
        // Hidden again (its OK button), as while a user takes laps without watching.
        PostMessageA(p.lapTimeWindow(), WM_COMMAND, MAKEWPARAM(40402, BN_CLICKED), 0);
        pumpDriver(200);
        for (int i = 0; i < 10000; ++i) p.command(40104);
        f.peakMiBLaps = peakMiB(p.process());
    }
    p.close();
    f.sizeKiB = fileKiB(stripped);
    return f;
}

// Milliseconds of one command, sent and answered, as the median of five.
double commandMs(const MorviProcess& p, int id) {
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        QueryPerformanceCounter(&begin);
        p.command(id);
        QueryPerformanceCounter(&end);
        times.push_back(1000.0 * static_cast<double>(end.QuadPart - begin.QuadPart) /
                        static_cast<double>(frequency.QuadPart));
    }
    return median(times);
}

// One Lap at a growing number of laps, with the lap-time window shown and hidden.
void printLapCosts(const std::string& exe) {
    morviExePath = exe;
    morviWindowClass = "Morvi";
    ScratchDir dir;
    MorviProcess p;
    if (!p.start(dir.path().string())) return;
    p.command(40101);
    std::printf("\n| laps before the Lap | window hidden | window shown |\n|---|---|---|\n");
    int laps = 0;
    for (const int target : {100, 1000, 3000, 10000}) {
        for (; laps < target; ++laps) p.command(40104);
        const double hidden = commandMs(p, 40104);
        p.command(40107);
        pumpDriver(100);
        const double shown = commandMs(p, 40104);
        PostMessageA(p.lapTimeWindow(), WM_COMMAND, MAKEWPARAM(40402, BN_CLICKED), 0);
        pumpDriver(100);
        laps += 10;
        std::printf("| %d | %.2f ms | %.2f ms |\n", target, hidden, shown);
    }
    p.close(30000);
}

void row(const char* what, double morvi, double baseline, const char* unit) {
    if (morvi < 0) {
        std::printf("| %s | %.1f %s | n/a | n/a |\n", what, baseline, unit);
    } else if (baseline <= 0) {
        std::printf("| %s | %.1f %s | below the reading's resolution | n/a |\n", what, morvi, unit);
    } else {
        std::printf("| %s | %.1f %s | %.1f %s | %.2f |\n", what, morvi, unit, baseline, unit, morvi / baseline);
    }
}

}  // namespace

// This build and the release before it, side by side: CPU idle and running,
// and how late this build's display turns to each new second.
void printBeforeAndAfter(const std::string& exe, const Figures& now, const std::string& before) {
    Figures then;
    {
        ScratchDir dir;
        MorviProcess p;
        if (startIn(dir, p, before, "Morvi")) measureCpu(p, before, true, then);
    }
    const EdgeFigures edges = measureSecondEdges(exe);
    std::printf("\n| measure | this build | the release before | ratio |\n|---|---|---|---|\n");
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("| CPU time in 10 s, idle | %.0f ms | %.0f ms | %.2f |\n", now.cpuIdleMsPer10s, then.cpuIdleMsPer10s,
                ratio(now.cpuIdleMsPer10s, then.cpuIdleMsPer10s));
    std::printf("| CPU time in 10 s, running | %.0f ms | %.0f ms | %.2f |\n", now.cpuMsPer10s, then.cpuMsPer10s,
                ratio(now.cpuMsPer10s, then.cpuMsPer10s));
    std::vector<double> late = edges.lateMs;
    std::sort(late.begin(), late.end());
    if (late.empty()) {
        std::printf("| the new second on the screen after its edge | not seen | | |\n");
        return;
    }
    std::printf(
        "| the new second on the screen after its edge, median / worst of %zu (earliest) | %.0f / %.0f ms (%.0f) "
        "| | |\n",
        late.size(), late[late.size() / 2], late.back(), late.front());
}

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: cost_bench MORVI BASELINE MORVI_STRIPPED BASELINE_STRIPPED [MORVI_BEFORE]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    timeBeginPeriod(1);  // the driver's own clock, for its measurements
    const Figures morvi = measure(argv[1], "Morvi", argv[3], true);
    const Figures base = measure(argv[2], "MorviBaseline", argv[4], false);
    if (argc > 5) printBeforeAndAfter(argv[1], morvi, argv[5]);
    std::printf("\n| measure | Morvi.exe | baseline window | ratio |\n|---|---|---|---|\n");
    row("start-up, process start to window shown (median of 5)", morvi.startupMs, base.startupMs, "ms");
    row("CPU time in 10 s, idle", morvi.cpuIdleMsPer10s, base.cpuIdleMsPer10s, "ms");
    row("CPU time in 10 s (Morvi running its stopwatch)", morvi.cpuMsPer10s, base.cpuIdleMsPer10s, "ms");
    row("peak working set after 10 s", morvi.peakMiB10s, base.peakMiB10s, "MiB");
    std::printf("| peak working set after 10 000 laps | %.1f MiB | n/a | %.2f (to the baseline's 10 s) |\n",
                morvi.peakMiBLaps, base.peakMiB10s > 0 ? morvi.peakMiBLaps / base.peakMiB10s : 0.0);
    std::printf("| hotkey latency, key down to lap report, median of 50 | %.0f ms | n/a | n/a |\n",
                morvi.latencyMedianMs);
    std::printf("| hotkey latency, 95th percentile | %.0f ms | n/a | n/a |\n", morvi.latencyP95Ms);
    std::printf("| Lap taps caught, held 30 ms / 60 ms, of 50 each | %d / %d | n/a | n/a |\n", morvi.tapsCaught30,
                morvi.tapsCaught60);
    row("executable size, stripped", morvi.sizeKiB, base.sizeKiB, "KiB");
    printLapCosts(argv[1]);
    timeEndPeriod(1);
    return 0;
}
