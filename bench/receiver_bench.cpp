// The measuring receiver's processing of one capture (65536 pairs: FM
// discriminator, RF counter, audio filter, AM envelope and its filter,
// relative power with the synchronous detector) against the goal of 20 ms
// of processor time a pass; the capture alone takes 135 ms at D = 1.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "bench_goals.h"
#include "utilities/receiver/receiver_analysis.h"

namespace {

using namespace tavlin;

constexpr double kSampleRateHz = 486111.111;
constexpr double kGoalMs = 20.0;

// An FM and AM carrier 250 Hz off the tuning, at -20 dB of full scale, with
// the sampler's noise.
void MakeCapture(int decimation, std::vector<std::int32_t>& i, std::vector<std::int32_t>& q) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double rate = kSampleRateHz / decimation;
    double phase = 0.0;
    for (std::size_t n = 0; n < i.size(); ++n) {
        const double t = static_cast<double>(n) / rate;
        phase += 2 * std::numbers::pi *
                 (250.0 + 3000.0 * std::sin(2 * std::numbers::pi * 1e3 * t)) / rate;
        const double amplitude = 3277.0 * (1.0 + 0.3 * std::cos(2 * std::numbers::pi * 700.0 * t));
        i[n] = static_cast<std::int32_t>(amplitude * std::cos(phase) + noise(random));
        q[n] = static_cast<std::int32_t>(amplitude * std::sin(phase) + noise(random));
    }
}

void ReceiverPass(benchmark::State& state) {
    const bool bandPass = state.range(0) != 0;
    const int decimation = static_cast<int>(state.range(1));
    ReceiverControls controls;
    controls.bandPass = bandPass;
    controls.showAm = true;
    controls.syncDetector = true;
    ReceiverTuning tuning;
    tuning.tunedHz = 433.92e6;
    tuning.loErrorHz = 37.0;
    tuning.sampleRateHz = kSampleRateHz;
    tuning.decimation = decimation;
    std::vector<std::int32_t> i(ReceiverAnalysis::kSamples);
    std::vector<std::int32_t> q(ReceiverAnalysis::kSamples);
    MakeCapture(decimation, i, q);
    ReceiverAnalysis analysis;
    analysis.Restart();
    double cpu = 0.0;
    for (auto _ : state) {
        const double t0 = bench::ThreadCpuSeconds();
        benchmark::DoNotOptimize(analysis.Process(i, q, tuning, controls));
        analysis.UpdateRange();
        cpu += bench::ThreadCpuSeconds() - t0;
    }
    bench::SetGoalAtMost(state, cpu / static_cast<double>(state.iterations()) * 1e3, kGoalMs);
}
BENCHMARK(ReceiverPass)
    ->ArgsProduct({{0, 1}, {1, 16}})
    ->ArgNames({"bandpass", "D"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
