#include "engine/stopwatch.h"

#include <chrono>

Stopwatch& processStopwatch() {
    static Stopwatch instance;
    return instance;
}

Tick steadyClockTick(void*) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<Tick>(ms);
}

Tick readTick(Stopwatch& sw) { return sw.clock.read ? sw.clock.read(sw.clock.context) : steadyClockTick(nullptr); }

namespace {

void appendRecord(LapList& laps, Tick tick, std::int32_t marker, std::uint32_t position) {
    laps.push_back(LapRecord{tick, marker, position});
}

// How long ago `tick` was, seen from `now`, modulo 2^32: wrap-safe ordering.
Tick ageAt(Tick now, Tick tick) { return now - tick; }

// `press` kept between the last command that changed the stopwatch and now.
// Every tick the stopwatch holds (startTick, stopTick, the records) was set by
// such a command at or before its own tick, so none can lie after the press.
Tick clampedPressTick(const Stopwatch& sw, Tick now, Tick press) {
    const StopwatchState& s = sw.state;
    if (static_cast<std::int32_t>(ageAt(now, press)) < 0) return now;  // later than now
    if (s.changedOnce == 1 && ageAt(now, s.lastChangeTick) < ageAt(now, press)) return s.lastChangeTick;
    return press;
}

// Every "now" of a command: a fresh reading, or the press's own tick. The
// last one given is the command's own tick.
struct CommandClock {
    Stopwatch& sw;
    bool timed;
    Tick press;
    Tick last = 0;
    Tick now() { return last = timed ? press : readTick(sw); }
};

enum CommandEffect { Nothing = 0, Changed = 1, ReportChanged = 3 };

CommandEffect applyLocked(Stopwatch& sw, StopwatchCommand command, std::uint32_t lapTime, CommandClock& clock) {
    StopwatchState& s = sw.state;
    switch (command) {
    case StopwatchCommand::Start: {
        if (s.running.load() != 0) return Nothing;
        if (s.startTick == 0) {
            s.startTick = clock.now();
            appendRecord(sw.laps, clock.now(), 1, 0);
        } else {
            const Tick pause = clock.now() - s.stopTick;
            s.startTick += pause;
            for (LapRecord& r : sw.laps) r.tick += pause;
            if (!sw.laps.empty()) sw.laps.pop_back();
        }
        s.running.store(1);
        return Changed;
    }
    case StopwatchCommand::Stop:
        if (s.running.load() != 1) return Nothing;
        appendRecord(sw.laps, clock.now(), 1, 0);
        s.stopTick = clock.now();
        s.running.store(0);
        return ReportChanged;
    case StopwatchCommand::Reset:
        clock.now();
        s.startTick = 0;
        s.stopTick = 0;
        s.running.store(0);
        s.lapFlashOn = 0;
        LapList().swap(sw.laps);
        s.splitView = 0;
        return Changed;
    case StopwatchCommand::Lap: {
        if (s.running.load() != 1) return Nothing;
        const Tick tick = clock.now();
        appendRecord(sw.laps, tick, 0, static_cast<std::uint32_t>(sw.laps.size()));
        const Tick duration = lapFlashDuration(lapTime);
        s.lapFlashCount = tick + duration;
        s.lapFlashOn = duration > 0 ? 1 : 0;
        return ReportChanged;
    }
    case StopwatchCommand::Next:
        if (s.running.load() != 1) return Nothing;
        clock.now();
        s.splitView = s.splitView == 0 ? 1 : 0;
        return Changed;
    }
    return Nothing;
}

}  // namespace

namespace {

void applyWith(Stopwatch& sw, StopwatchCommand command, std::uint32_t lapTime, bool timed, Tick pressTick) {
    bool refresh = false;
    {
        std::lock_guard<std::mutex> guard(sw.lock);
        CommandClock clock =
            timed ? CommandClock{sw, true, clampedPressTick(sw, readTick(sw), pressTick)} : CommandClock{sw, false, 0};
        const CommandEffect effect = applyLocked(sw, command, lapTime, clock);
        if (effect != Nothing) {
            sw.state.lastChangeTick = clock.last;
            sw.state.changedOnce = 1;
        }
        refresh = effect == ReportChanged;
    }
    // Outside the lock: the sink may wait for the GUI thread, which may be
    // waiting for this lock.
    if (refresh && sw.reportSink.refresh) sw.reportSink.refresh(sw.reportSink.context);
}

}  // namespace

void applyCommand(Stopwatch& sw, StopwatchCommand command, std::uint32_t lapTime) {
    applyWith(sw, command, lapTime, false, 0);
}

void applyCommandAt(Stopwatch& sw, StopwatchCommand command, std::uint32_t lapTime, Tick pressTick) {
    applyWith(sw, command, lapTime, true, pressTick);
}

Tick lapFlashDuration(std::uint32_t lapTime) {
    // A negative lapTime (a hand-edited file, -100 typed in the dialog) shows
    // no flash, rather than one that lasts until Reset.
    return static_cast<std::int32_t>(lapTime) < 0 ? 0 : lapTime / 100u * 100u;
}

void clearLapList(Stopwatch& sw) {
    std::lock_guard<std::mutex> guard(sw.lock);
    LapList().swap(sw.laps);
}
