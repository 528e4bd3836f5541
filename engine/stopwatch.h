// The stopwatch engine: run state, lap list and the five commands.
// Portable: no platform header here. The tick source and the lap-report
// delivery are installed by the caller.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

using Tick = std::uint32_t;

// Read by the poller thread without the engine lock (optionsOpen, quitRequested)
// or written under the lock and peeked at from outside (running): atomic words.
// Everything else is touched only with Stopwatch::lock held.
struct StopwatchState {
    Tick startTick = 0;  // 0 means Idle
    Tick stopTick = 0;
    std::atomic<std::int32_t> running{0};
    // The tick at which the lap flash ends: it shows while lapFlashOn is 1 and
    // that tick is still ahead, however often the window is painted. Lap
    // starts it afresh, Reset ends it, a paint after its end clears the flag.
    Tick lapFlashCount = 0;
    std::int32_t lapFlashOn = 0;
    std::int32_t splitView = 0;
    // The tick of the last command that changed anything (any source; a
    // Reset and a resume count), once changedOnce is 1: no key press is timed
    // before it.
    Tick lastChangeTick = 0;
    std::int32_t changedOnce = 0;
    std::atomic<std::int32_t> optionsOpen{0};
    std::atomic<std::int32_t> quitRequested{0};
};

struct LapRecord {
    Tick tick;
    std::int32_t marker;     // 1: start or stop marker, 0: lap
    std::uint32_t position;  // a lap's own index; 0 for markers

    friend bool operator==(const LapRecord&, const LapRecord&) = default;
};

using LapList = std::vector<LapRecord>;

enum class StopwatchCommand { Start, Stop, Reset, Lap, Next };

struct TickSource {
    Tick (*read)(void* context);
    void* context;
};

// Called as the last step of an effective Stop or Lap, on the thread that
// applied the command, with the engine lock released.
struct LapReportSink {
    void (*refresh)(void* context);
    void* context;
};

// The engine's whole state. The process has one (processStopwatch); tests make
// their own. The mutex serialises commands, texts and the paint step between
// the GUI thread and the hotkey poller.
struct Stopwatch {
    StopwatchState state;
    LapList laps;
    TickSource clock{};
    LapReportSink reportSink{};
    std::mutex lock;
};

Stopwatch& processStopwatch();

// A monotonic millisecond counter for builds without the platform's own.
Tick steadyClockTick(void* context);

void applyCommand(Stopwatch& sw, StopwatchCommand command, std::uint32_t lapTime);

// The same command timed to a key press: every "now" of its steps is `pressTick`,
// raised to the tick of the last command that changed the stopwatch (and so to
// every tick it holds) and lowered to now, so a command applied in between can
// never make a lap or a pause negative.
void applyCommandAt(Stopwatch& sw, StopwatchCommand command, std::uint32_t lapTime, Tick pressTick);

// How long a Lap's flash shows: LapTime rounded down to a tenth of a second;
// none for 0 to 99 or a negative value.
Tick lapFlashDuration(std::uint32_t lapTime);

// Reads the installed tick source (the steady clock when none is installed).
// Callers must hold sw.lock or own the record exclusively.
Tick readTick(Stopwatch& sw);

// Releases the lap list's storage; for process exit.
void clearLapList(Stopwatch& sw);
