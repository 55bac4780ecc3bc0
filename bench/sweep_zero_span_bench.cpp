// PC-side processing time of a zero-span sweep (AM and FM) against the sweep
// time the instrument takes to stream it: the whole sweep as the sweep
// thread runs it on the virtual unit with virtual time, less the processor
// time the virtual unit spends answering. The processing must stay below
// 2 % of the sweep time.
#include <benchmark/benchmark.h>

#include "timed_document.h"

namespace {

using namespace tavlin;

void ZeroSpanRun(benchmark::State& state, bool fm) {
    constexpr double kCarrierHz = 915e6;
    constexpr double kSweepTimeSec = 0.1;
    bench::TimedDocument timed(kCarrierHz, 1e6);
    timed.doc.EditSettings([fm](InstrumentState& s) {
        s.sweepTimeSec = kSweepTimeSec;
        s.zeroSpanFm = fm ? 1 : 0;
    });
    timed.doc.SetFrequencies(kCarrierHz, kCarrierHz);
    timed.doc.PerformSweep();
    timed.timed.unitSeconds = 0.0;
    double total = 0.0;
    for (auto _ : state) {
        const double t0 = bench::ThreadCpuSeconds();
        timed.doc.PerformSweep();
        total += bench::ThreadCpuSeconds() - t0;
        timed.pause.Instrument().RequestStop(false);
    }
    const auto iterations = static_cast<double>(state.iterations());
    const double processing = (total - timed.timed.unitSeconds) / iterations;
    state.counters["cpu_ms"] = processing * 1e3;
    bench::SetGoalAtMost(state, 100.0 * processing / kSweepTimeSec, 2.0);  // % of the sweep
}

void ZeroSpanAm(benchmark::State& state) {
    ZeroSpanRun(state, false);
}
void ZeroSpanFm(benchmark::State& state) {
    ZeroSpanRun(state, true);
}
BENCHMARK(ZeroSpanAm)->Unit(benchmark::kMillisecond);
BENCHMARK(ZeroSpanFm)->Unit(benchmark::kMillisecond);

// The wall time of a zero-span sweep of 100 ms over the unit's time to
// sample it.
void ZeroSpanPace(benchmark::State& state) {
    constexpr double kCarrierHz = 915e6;
    bench::TimedDocument timed(kCarrierHz, 1e6);
    timed.doc.EditSettings([](InstrumentState& s) { s.sweepTimeSec = 0.1; });
    timed.doc.SetFrequencies(kCarrierHz, kCarrierHz);
    bench::WallOverPhysical(state, timed);
}
BENCHMARK(ZeroSpanPace)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
