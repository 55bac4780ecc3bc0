// PC-side processing time of the two FFT sweep kinds, without the capture
// itself: the samples are prepared once and processed each iteration exactly
// as a sweep processes them. Each case reports the capture time of the data it
// processes and the processing time as a share of it (it must stay below 10 %).
//
// FftSweep: main pass and image pass (shift, counter, block-averaged windowed
// FFTs, IF response and droop, mirror, merge) and the mapping to the trace,
// at spans 10 kHz and 200 kHz on the preset plan at 915 MHz.
// NarrowFftSweep: 2^24 samples before decimation (a 10 Hz span), one FFT of
// 2^24 / D points, for D = 16 (the usual decimation) and D = 2 (the longest
// transform, 2^23 points), including the per-sweep arrays; the D = 2 case
// also reports the peak memory the processing adds.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "document/analyzer_document.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"
#include "sweep/fft_sweep.h"
#include "sweep/narrow_fft_sweep.h"
#include "sweep/sweep_engine.h"

namespace {

using namespace tavlin;

// Virtual time, so the document's start-up and the planning sweep cost
// nothing.
class VirtualClock final : public Clock {
  public:
    TimePoint Now() override { return TimePoint(std::chrono::microseconds(nowUs_)); }
    void SleepMs(int milliseconds) override { nowUs_ += 1000LL * std::max(milliseconds, 0); }

  private:
    long long nowUs_ = 1'000'000;
};

class SilentPrompter final : public Prompter {
  public:
    PromptAnswer Show(const std::string&, const std::string&, PromptButtons) override {
        return PromptAnswer::No;
    }
};

// A document on the virtual unit, swept once at the given span so that the
// engine holds the plan (LOs, decimation, FFT length) a real sweep uses.
struct PlannedDocument {
    explicit PlannedDocument(double centerHz, double spanHz)
        : cacheDir(std::filesystem::temp_directory_path() /
                   ("tavlin-bench-" + std::to_string(::getpid()))),
          unit(clock, Scene(centerHz)),
          doc((std::filesystem::create_directories(cacheDir),
               DocumentPorts{unit, clock, prompter, views, progress}),
              cacheDir) {
        doc.SetCenterSpan(centerHz, spanHz);
        doc.PerformSweep();
        settings = doc.TakeSweepSettings();
        context = std::make_unique<SweepContext>(SweepContext{
            doc.engine, doc.link, doc.calTable, prompter, progress, clock, doc.stopRequest,
            settings, trace, outcome, [] { return false; }, [] { return 1; }});
        doc.engine.ChooseSampleClock(centerHz, *context);
        trace.traceA.fill(500.0);
    }
    ~PlannedDocument() { std::filesystem::remove_all(cacheDir); }

    static sim::Scene Scene(double centerHz) {
        sim::Scene scene = sim::DefaultScene();
        scene.signals = {{centerHz + 1234.0, -30.0, std::nullopt, std::nullopt}};
        return scene;
    }

    std::filesystem::path cacheDir;
    VirtualClock clock;
    SilentPrompter prompter;
    NullViewNotifier views;
    NullProgressSink progress;
    sim::VirtualInstrument unit;
    AnalyzerDocument doc;
    SweepSettings settings;
    SweepTrace trace;
    SweepOutcome outcome;
    std::unique_ptr<SweepContext> context;
};

// A tone in noise at 12 bits or so, as a capture of the unit looks.
void FillCapture(std::int32_t* i, std::int32_t* q, std::size_t n, double cyclesPerSample) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (std::size_t k = 0; k < n; ++k) {
        const double phase = 2.0 * std::numbers::pi * cyclesPerSample * static_cast<double>(k);
        i[k] = static_cast<std::int32_t>(std::lround(1000.0 * std::cos(phase) + noise(random)));
        q[k] = static_cast<std::int32_t>(std::lround(1000.0 * std::sin(phase) + noise(random)));
    }
}

// The processing thread's own CPU time: the machine may be busy with other
// work, and the share of the capture time is about what this sweep costs.
double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

void FftSweepProcessing(benchmark::State& state) {
    const double span = static_cast<double>(state.range(0));
    PlannedDocument planned(915e6, span);
    SweepContext& context = *planned.context;
    SweepEngine& engine = planned.doc.engine;
    FftSweep sweep;
    const FftSweep::PassGeometry main = FftSweep::MainPassGeometry(context);
    const FftSweep::PassGeometry image = FftSweep::ImagePassGeometry(context, main);
    FillCapture(engine.captureI.data(), engine.captureQ.data(),
                static_cast<std::size_t>(main.length), 0.01);

    double processing = 0.0;
    for (auto _ : state) {
        const double t0 = ThreadCpuSeconds();
        const int blocks = sweep.ProcessMainPass(context, main);
        benchmark::DoNotOptimize(sweep.CountFrequency(main, false, 915e6));
        sweep.ProcessImagePass(context, image, 1.0);
        sweep.MapToTrace(context, main, blocks);
        processing += ThreadCpuSeconds() - t0;
        benchmark::ClobberMemory();
    }
    // Two passes of L samples each at fs / D.
    const double capture = 2.0 * main.length * main.decimation / main.sampleRateHz;
    const double perSweep = processing / static_cast<double>(state.iterations());
    state.counters["N"] = main.fftSize;
    state.counters["D"] = main.decimation;
    state.counters["L"] = main.length;
    state.counters["capture_ms"] = capture * 1e3;
    state.counters["cpu_ms"] = perSweep * 1e3;
    state.counters["share_pct"] = 100.0 * perSweep / capture;
}
BENCHMARK(FftSweepProcessing)->Arg(10000)->Arg(200000)->Unit(benchmark::kMillisecond);

// Resident memory in MiB from /proc/self/status: "VmRSS" now, "VmHWM" the
// peak since the last reset.
double StatusMiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stod(line.substr(key.size() + 1)) / 1024.0;
        }
    }
    return 0.0;
}

void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void NarrowFftSweepProcessing(benchmark::State& state) {
    const int decimation = static_cast<int>(state.range(0));
    const std::size_t samples = std::size_t{1} << 24;  // a span below 20 Hz
    const std::size_t n = samples / static_cast<std::size_t>(decimation);
    PlannedDocument planned(915e6, 10.0);
    SweepContext& context = *planned.context;
    NarrowFftSweep sweep;
    // The stream arrives in blocks of 4096 pairs; one block stands for all.
    std::vector<std::int32_t> blockI(kStreamBlockPairs);
    std::vector<std::int32_t> blockQ(kStreamBlockPairs);
    FillCapture(blockI.data(), blockQ.data(), blockI.size(), 0.25);
    const double loErrorHz = planned.doc.engine.lo1ErrorHz.load();

    double processing = 0.0;
    double peakMiB = 0.0;
    for (auto _ : state) {
        const double before = StatusMiB("VmRSS");
        ResetPeakMemory();
        const double t0 = ThreadCpuSeconds();
        std::vector<double> re(n);
        std::vector<double> im(n);
        for (std::size_t first = 0; first < n; first += blockI.size()) {
            for (std::size_t k = 0; k < blockI.size(); ++k) {
                re[first + k] = blockI[k] * (1.0 / 32768.0);
                im[first + k] = blockQ[k] * (1.0 / 32768.0);
            }
        }
        sweep.ProcessCapture(context, re, im, decimation, loErrorHz);
        processing += ThreadCpuSeconds() - t0;
        peakMiB = std::max(peakMiB, StatusMiB("VmHWM") - before);
        benchmark::ClobberMemory();
    }
    const double capture = static_cast<double>(samples) / context.sampleRateHz;
    const double perSweep = processing / static_cast<double>(state.iterations());
    state.counters["N"] = static_cast<double>(n);
    state.counters["capture_s"] = capture;
    state.counters["cpu_s"] = perSweep;
    state.counters["share_pct"] = 100.0 * perSweep / capture;
    state.counters["peak_MiB"] = peakMiB;
}
BENCHMARK(NarrowFftSweepProcessing)->Arg(16)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
