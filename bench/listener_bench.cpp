// The listener's processing of one sound block (channel filters, AM or FM
// demodulation, de-emphasis, clipping) against the time the block plays:
// 2048 stereo frames at 30382 per second, about 67 ms, made from 4 fetches
// of 4096 pairs on the 120 KHz IF or one on the 30 KHz IF. The share must stay
// under 5 % of real time; the program prints the goal and each case's share
// and exits with 1 when one misses it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "bench_goals.h"
#include "utilities/listener/audio_listener.h"
#include "utilities/listener/listener_demodulator.h"

namespace {

using namespace tavlin;

constexpr double kGoalPct = 5.0;
constexpr double kBlockSeconds =
    AudioListener::kBlockValues / static_cast<double>(AudioListener::kValuesPerSecond);

// An FM carrier at -20 dB of full scale with the sampler's noise, at the
// fetch's rate.
void MakeFetch(double rateHz, std::vector<std::int32_t>& i, std::vector<std::int32_t>& q) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    double phase = 0.0;
    for (std::size_t n = 0; n < i.size(); ++n) {
        phase += 2 * std::numbers::pi *
                 (300.0 + 3000.0 * std::sin(2 * std::numbers::pi * 1000.0 * n / rateHz)) / rateHz;
        i[n] = static_cast<std::int32_t>(3277.0 * std::cos(phase) + noise(random));
        q[n] = static_cast<std::int32_t>(3277.0 * std::sin(phase) + noise(random));
    }
}

void ListenerBlock(benchmark::State& state) {
    const bool wideIf = state.range(0) != 0;
    const bool fm = state.range(1) != 0;
    ListenerTuning tuning;
    tuning.wideIf = wideIf;
    tuning.processingRateHz = 486111.111 / (wideIf ? 2 : 8);
    tuning.loErrorHz = 123.0;
    ListenerDemodulator demodulator;
    demodulator.Start(tuning);
    std::vector<std::int32_t> i(AudioListener::kBlockValues);
    std::vector<std::int32_t> q(AudioListener::kBlockValues);
    MakeFetch(tuning.processingRateHz, i, q);
    std::vector<std::int16_t> block(AudioListener::kBlockValues);
    const int fetches = wideIf ? 4 : 1;
    double cpu = 0.0;
    for (auto _ : state) {
        const double t0 = bench::ThreadCpuSeconds();
        std::size_t filled = 0;
        for (int f = 0; f < fetches; ++f) {
            filled += demodulator.ProcessFetch(i, q, fm, std::span(block).subspan(filled));
        }
        cpu += bench::ThreadCpuSeconds() - t0;
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    const double perBlock = cpu / static_cast<double>(state.iterations());
    state.counters["block_ms"] = kBlockSeconds * 1e3;
    state.counters["cpu_ms"] = perBlock * 1e3;
    bench::SetGoalAtMost(state, 100.0 * perBlock / kBlockSeconds, kGoalPct);
}
BENCHMARK(ListenerBlock)
    ->ArgsProduct({{1, 0}, {1, 0}})
    ->ArgNames({"wide", "fm"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
