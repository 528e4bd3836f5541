// What the engine's linear paths cost: the lap report rebuilt on every Stop
// and Lap, and a resume that shifts every record.
#include <benchmark/benchmark.h>

#include "engine/time_texts.h"

namespace {

Tick fixedTick(void* context) { return *static_cast<Tick*>(context); }

// A running stopwatch with `records` records, a lap every 1.234 s.
void fill(Stopwatch& sw, Tick& now, std::int64_t records) {
    sw.clock = TickSource{fixedTick, &now};
    now = 1000;
    applyCommand(sw, StopwatchCommand::Start, 0);
    for (std::int64_t i = 1; i < records; ++i) {
        now += 1234;
        applyCommand(sw, StopwatchCommand::Lap, 0);
    }
}

void BM_BuildLapReport(benchmark::State& state) {
    Stopwatch sw;
    Tick now = 0;
    fill(sw, now, state.range(0));
    const TextSettings ts{};
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string report = buildLapReport(sw, ts);
        bytes = report.size();
        benchmark::DoNotOptimize(report.data());
    }
    state.SetComplexityN(state.range(0));
    state.counters["report_bytes"] = static_cast<double>(bytes);
    state.counters["per_record"] =
        benchmark::Counter(static_cast<double>(state.range(0)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildLapReport)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

void BM_ResumeAfterStop(benchmark::State& state) {
    Stopwatch sw;
    Tick now = 0;
    fill(sw, now, state.range(0));
    for (auto _ : state) {
        now += 10;
        applyCommand(sw, StopwatchCommand::Stop, 0);
        now += 500;
        applyCommand(sw, StopwatchCommand::Start, 0);
    }
}
BENCHMARK(BM_ResumeAfterStop)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
