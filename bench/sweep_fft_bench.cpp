// PC-side processing time of the two FFT sweep kinds against the time the
// instrument takes to capture what they process.
//
// FftSweep: the whole sweep as the sweep thread runs it (LO planning, the
// commands, decoding the stream, both passes, the mapping to the trace) on
// the virtual unit with virtual time, less the processor time the virtual
// unit itself spends answering. The capture takes the instrument pairs x
// 2.2 us x (D + 1) + 25 ms; the processing must stay below 2 % of it, at
// spans 10 kHz and 200 kHz at 915 MHz.
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
#include "document/sweep_pause.h"
#include "dsp/split_complex_buffer.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"
#include "sweep/fft_sweep.h"
#include "sweep/narrow_fft_sweep.h"
#include "sweep/rbw_rules.h"
#include "sweep/sweep_engine.h"
#include "timed_document.h"

namespace {

using namespace tavlin;
using bench::SilentPrompter;
using bench::TimedDocument;
using bench::VirtualClock;

// A document on the virtual unit, swept once at the given span so that the
// engine holds the plan (LOs, decimation, FFT length) a real sweep uses.
struct PlannedDocument {
    explicit PlannedDocument(double centerHz, double spanHz)
        : cacheDir(std::filesystem::temp_directory_path() /
                   ("tavlin-bench-" + std::to_string(::getpid()))),
          unit(clock, bench::OneCarrier(centerHz)),
          doc((std::filesystem::create_directories(cacheDir),
               DocumentPorts{unit, clock, prompter, views, progress}),
              cacheDir) {
        doc.SetCenterSpan(centerHz, spanHz);
        doc.PerformSweep();
        settings = doc.TakeSweepSettings();
        InstrumentLease& instrument = pause.Instrument();
        context = std::make_unique<SweepContext>(instrument.BindContext(settings, trace, outcome));
        instrument.PrepareSweep(*context);
        trace.traceA.fill(500.0);
    }
    ~PlannedDocument() { std::filesystem::remove_all(cacheDir); }

    std::filesystem::path cacheDir;
    VirtualClock clock;
    SilentPrompter prompter;
    NullViewNotifier views;
    NullProgressSink progress;
    sim::VirtualInstrument unit;
    AnalyzerDocument doc;
    SweepPause pause{doc};  // the bench drives the unit alone
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

void FftSweepRun(benchmark::State& state) {
    TimedDocument timed(915e6, static_cast<double>(state.range(0)));
    timed.timed.unitSeconds = 0.0;
    timed.timed.pairsRead = 0;
    double total = 0.0;
    for (auto _ : state) {
        const double t0 = bench::ThreadCpuSeconds();
        timed.doc.PerformSweep();
        total += bench::ThreadCpuSeconds() - t0;
        timed.pause.Instrument().RequestStop(false);
    }
    const auto iterations = static_cast<double>(state.iterations());
    const double processing = (total - timed.timed.unitSeconds) / iterations;
    const double pairs = static_cast<double>(timed.timed.pairsRead) / iterations;
    const SweepPlan plan = timed.pause.Instrument().Plan();
    const int decimation = ChooseFftResolution(static_cast<double>(state.range(0)),
                                               timed.doc.TakeSweepSettings().spanRbwRatio,
                                               plan.lo1ErrorHz, plan.lo2ErrorHz)
                               .decimation;
    const double capture = pairs * 2.2e-6 * (decimation + 1) + 0.025;
    state.counters["D"] = decimation;
    state.counters["pairs"] = pairs;
    state.counters["capture_ms"] = capture * 1e3;
    state.counters["cpu_ms"] = processing * 1e3;
    bench::SetGoalAtMost(state, 100.0 * processing / capture, 2.0);  // % of the capture
}
BENCHMARK(FftSweepRun)->Arg(10000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The wall time of a whole sweep over the unit's time to sample it, at a
// span in hertz: 10 kHz and 200 kHz run the FFT sweep, 100 Hz the narrow one.
void FftSweepPace(benchmark::State& state) {
    TimedDocument timed(915e6, static_cast<double>(state.range(0)));
    bench::WallOverPhysical(state, timed);
}
BENCHMARK(FftSweepPace)->Arg(100)->Arg(10000)->Arg(200000)->Unit(benchmark::kMillisecond);

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

// The narrow sweep shifts and windows the capture while it streams; after
// the last block the transform and the trace remain, and the goal is that
// they take under 1 % of the capture's time on the wall clock (the sweep
// ends that much after its data). The window and the plan are those of the
// sweep before, as on every sweep but the first at a length.
// With the second argument 0 the sweep is processed the old way, for
// comparison in the same run: everything after the last block, with the
// window and the plan made afresh (no goal).
void NarrowFftSweepProcessing(benchmark::State& state) {
    const int decimation = static_cast<int>(state.range(0));
    const bool whileStreaming = state.range(1) != 0;
    const std::size_t samples = std::size_t{1} << 24;  // a span below 20 Hz
    const std::size_t n = samples / static_cast<std::size_t>(decimation);
    PlannedDocument planned(915e6, 10.0);
    SweepContext& context = *planned.context;
    auto sweep = std::make_unique<NarrowFftSweep>();
    // The stream arrives in blocks of 4096 pairs; one block stands for all.
    std::vector<std::int32_t> blockI(kStreamBlockPairs);
    std::vector<std::int32_t> blockQ(kStreamBlockPairs);
    FillCapture(blockI.data(), blockQ.data(), blockI.size(), 0.25);
    const double loErrorHz = planned.pause.Instrument().Plan().lo1ErrorHz;
    const double increment = NarrowFftSweep::ShiftIncrement(context, loErrorHz, decimation);
    const auto oneSweep = [&](double& duringCpu, double& afterCpu, double& afterWall) {
        const double t0 = bench::ThreadCpuSeconds();
        SplitComplexBuffer capture(n);
        const std::span<double> re = capture.Re();
        const std::span<double> im = capture.Im();
        for (std::size_t first = 0; first < n; first += blockI.size()) {
            for (std::size_t k = 0; k < blockI.size(); ++k) {
                re[first + k] = blockI[k] * (1.0 / 32768.0);
                im[first + k] = blockQ[k] * (1.0 / 32768.0);
            }
            const std::size_t received = first + blockI.size();
            if (whileStreaming && received % NarrowFftSweep::kPrepareChunk == 0) {
                sweep->PrepareChunk(re, im, received - NarrowFftSweep::kPrepareChunk,
                                    NarrowFftSweep::kPrepareChunk, increment, 0);
            }
        }
        const double t1 = bench::ThreadCpuSeconds();
        const auto wall = std::chrono::steady_clock::now();
        if (!whileStreaming) {
            sweep = std::make_unique<NarrowFftSweep>();
            sweep->PrepareChunk(re, im, 0, n, increment, 0);
        }
        sweep->FinishCapture(context, re, im, decimation, loErrorHz);
        afterWall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
        afterCpu += bench::ThreadCpuSeconds() - t1;
        duringCpu += t1 - t0;
    };
    double unused = 0.0;
    oneSweep(unused, unused, unused);  // the window and the plan made

    double duringCpu = 0.0;
    double afterCpu = 0.0;
    double afterWall = 0.0;
    double peakMiB = 0.0;
    for (auto _ : state) {
        const double before = StatusMiB("VmRSS");
        ResetPeakMemory();
        oneSweep(duringCpu, afterCpu, afterWall);
        peakMiB = std::max(peakMiB, StatusMiB("VmHWM") - before);
        benchmark::ClobberMemory();
    }
    const double capture = static_cast<double>(samples) / context.plan.receiver.sampleRateHz;
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["N"] = static_cast<double>(n);
    state.counters["capture_s"] = capture;
    state.counters["during_cpu_pct"] = 100.0 * duringCpu / iterations / capture;
    state.counters["after_cpu_s"] = afterCpu / iterations;
    state.counters["peak_MiB"] = peakMiB;
    const double afterPct = 100.0 * afterWall / iterations / capture;
    if (whileStreaming) {
        bench::SetGoalAtMost(state, afterPct, 1.0);  // % of the capture
    } else {
        state.counters["after_wall_pct"] = afterPct;
    }
}
BENCHMARK(NarrowFftSweepProcessing)
    ->ArgsProduct({{16, 2}, {1, 0}})
    ->ArgNames({"D", "streaming"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
