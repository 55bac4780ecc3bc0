// The noise bandwidth of a window, which every FFT sweep asks for once a pass,
// at the lengths the sweeps use (4096 and 16384 the FFT sweep's common ones,
// 65536 its longest). Drawing the window to sum it took about a millisecond at
// 65536 points and allocated half a megabyte; the closed form takes neither.
// The goal: at most one microsecond of processor time a call at every length.
#include <benchmark/benchmark.h>

#include <cstddef>

#include "bench_goals.h"
#include "dsp/window.h"

namespace {

constexpr double kGoalMicroseconds = 1.0;

void NoiseBandwidth(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const double begin = tavlin::bench::ThreadCpuSeconds();
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavlin::NoiseBandwidthBins(tavlin::kNuttallWindow, n));
    }
    const double processingSec = tavlin::bench::ThreadCpuSeconds() - begin;
    const double perCallUs = processingSec / static_cast<double>(state.iterations()) * 1e6;
    tavlin::bench::SetGoalAtMost(state, perCallUs, kGoalMicroseconds);
}

BENCHMARK(NoiseBandwidth)->Arg(4096)->Arg(16384)->Arg(65536);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
