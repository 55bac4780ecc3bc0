// Sample generation rate of the virtual instrument on one core, as a
// multiple of the unit's real rate of 486111 pairs per second: at least 50
// with any scene (CW and modulated emitters, and the whole stream through
// the USB port), so that a sanitizer build and a busy machine keep up.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "bench_goals.h"
#include "ports/clock.h"
#include "sim/receiver_model.h"
#include "sim/receiver_state.h"
#include "sim/sample_synthesizer.h"
#include "sim/true_response.h"
#include "sim/virtual_instrument.h"

namespace {

using namespace tavlin;
using namespace tavlin::sim;

constexpr std::size_t kPairsPerRun = 1 << 18;
constexpr double kRealPairsPerSecond = 486111.111;
constexpr double kGoalTimesRealTime = 50.0;

void SetRealTimeGoal(benchmark::State& state, double pairs, double cpuSeconds) {
    bench::SetGoalAtLeast(state, pairs / cpuSeconds / kRealPairsPerSecond, kGoalTimesRealTime);
}

// A unit tuned to 1 GHz with a few emitters inside the 10.7 MHz IF's pass
// band plus the noise floor.
Scene FewEmitters(bool modulated) {
    Scene scene;
    scene.tcxoPpb = 800.0;
    scene.signals = {{1000.00e6, -30.0, std::nullopt, std::nullopt},
                     {1000.05e6, -45.0, std::nullopt, std::nullopt},
                     {999.92e6, -60.0, std::nullopt, std::nullopt},
                     {1000.11e6, -70.0, std::nullopt, std::nullopt}};
    if (modulated) {
        scene.signals[1].am = SceneAm{1000.0, 0.5};
        scene.signals[2].fm = SceneFm{1000.0, 5000.0};
    }
    return scene;
}

SamplePlan PlanFor(const Scene& scene) {
    const ReceiverModel model(scene, TrueResponse::Of(scene));
    ReceiverState state;
    state.samplerReady = true;
    state.attenIndex = 2;
    return model.Plan(state, 989.3e6);
}

void Synthesize(benchmark::State& state, bool modulated) {
    const SamplePlan plan = PlanFor(FewEmitters(modulated));
    SampleSynthesizer synthesizer;
    synthesizer.Start(plan, 1.0);
    std::vector<std::uint8_t> out(kPairsPerRun * SampleSynthesizer::kBytesPerPair);
    const double t0 = bench::ThreadCpuSeconds();
    for (auto _ : state) {
        synthesizer.Render(out.data(), kPairsPerRun);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPairsPerRun));
    SetRealTimeGoal(state, static_cast<double>(state.iterations() * kPairsPerRun),
                    bench::ThreadCpuSeconds() - t0);
    state.counters["tones"] = static_cast<double>(plan.tones.size());
}

void BM_SynthesizeCwEmittersAndNoise(benchmark::State& state) {
    Synthesize(state, false);
}
void BM_SynthesizeModulatedEmittersAndNoise(benchmark::State& state) {
    Synthesize(state, true);
}

// Time that moves only when told, so a stream's bytes are due at once.
class SteppedClock final : public Clock {
  public:
    TimePoint Now() override { return TimePoint(std::chrono::microseconds(nowUs_.load())); }
    void SleepMs(int milliseconds) override { nowUs_ += milliseconds * 1000LL; }
    void AdvanceUs(long long us) { nowUs_ += us; }

  private:
    std::atomic<long long> nowUs_{1'000'000};
};

std::vector<std::uint8_t> Frame(std::initializer_list<std::uint8_t> bytes) {
    std::vector<std::uint8_t> frame(bytes);
    frame.push_back(0xC0);
    return frame;
}

// The whole data path: a "T" stream read through the USB port.
void BM_StreamThroughTheUsbPort(benchmark::State& state) {
    SteppedClock clock;
    VirtualInstrument unit(clock, FewEmitters(false));
    UsbDriver& driver = unit;
    UsbHandle data = kNoHandle;
    UsbHandle command = kNoHandle;
    driver.OpenByIndex(0, data);
    driver.OpenByIndex(1, command);
    driver.SetBaudRate(command, 46667);
    const std::vector<std::vector<std::uint8_t>> setup = {
        Frame({'I', 0x00, 0x75}),
        Frame({'I', 0x38, 0x03}),
        Frame({'I', 0x00, 0x74}),
        Frame({'I', 0x00, 0x70}),
        Frame({'I', 0x38, 0x00}),
        Frame({'A', 0x02}),
        Frame({'L', 0x00, 0xC5, 0x82, 0x40}),  // 3957.2 MHz / 4 = 989.3 MHz
        Frame({'L', 0x00, 0xA6, 0x41, 0xBC}),
        Frame({'D', 0x04}),
        Frame({'T'})};
    std::size_t written = 0;
    for (const auto& frame : setup) {
        driver.Write(command, frame.data(), frame.size(), written);
    }
    constexpr std::size_t kBlockBytes = 16384;
    std::vector<std::uint8_t> block(kBlockBytes);
    std::size_t total = 0;
    const double t0 = bench::ThreadCpuSeconds();
    for (auto _ : state) {
        clock.AdvanceUs(8427);  // 4096 pairs at 486111 pairs/s
        std::size_t got = 0;
        driver.Read(data, block.data(), block.size(), got);
        total += got;
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(total / 4));
    SetRealTimeGoal(state, static_cast<double>(total / 4), bench::ThreadCpuSeconds() - t0);
}

BENCHMARK(BM_SynthesizeCwEmittersAndNoise);
BENCHMARK(BM_SynthesizeModulatedEmittersAndNoise);
BENCHMARK(BM_StreamThroughTheUsbPort);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
