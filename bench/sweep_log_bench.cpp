// What a sweep log costs the machine per sweep: the record the document
// makes on the sweep thread, the queue, and the writer thread's formatting
// and write, all threads of the process counted. Aim: logging 10 sweeps a
// second takes under 1 % of one core.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "bench_goals.h"
#include "document/instrument_state.h"
#include "document/sweep_record.h"
#include "ports/clock.h"
#include "view/sweep_log.h"

namespace {

constexpr int kSweepsPerRun = 60;  // within the queue: none is dropped
constexpr double kSweepsPerSecond = 10.0;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Noise with a carrier: levels of every width the rows write.
tavlin::TraceRows NoisyRows() {
    tavlin::TraceRows rows{};
    unsigned seed = 12345;
    for (int i = 0; i < tavlin::kTracePoints; ++i) {
        seed = seed * 1103515245u + 12345u;
        rows[i] = 300.0 + (seed >> 16) % 150;
    }
    rows[320] = 40.0;
    return rows;
}

void LogSweeps(benchmark::State& state) {
    const auto format = static_cast<tavlin::SweepLogFormat>(state.range(0));
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("sweep-log-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    tavlin::SteadyClock clock;
    tavlin::InstrumentState settings;
    settings.rbwHz = 100e3;
    settings.deviceSerial = "TV000123";
    tavlin::MarkerScale scale;
    scale.startHz = 902e6;
    scale.stopHz = 928e6;
    const tavlin::TraceBasis basis = tavlin::TraceBasis::MeasuredOn(scale);
    const tavlin::TraceRows rows = NoisyRows();
    double cpu = 0.0;
    long sweeps = 0;
    int run = 0;
    for (auto _ : state) {
        tavlin::SweepLogSettings logSettings;
        logSettings.path = dir / ("run" + std::to_string(run++) + ".csv");
        logSettings.format = format;
        const double start = ProcessCpuSeconds();
        tavlin::SweepLog log(logSettings, clock);
        log.Start();
        for (int i = 0; i < kSweepsPerRun; ++i) {
            tavlin::SweepRecord record;
            tavlin::MakeSweepRecord(basis, rows, settings, clock.UtcSeconds(), record);
            log.Offer(record);
        }
        log.Stop();
        cpu += ProcessCpuSeconds() - start;
        sweeps += static_cast<long>(log.GetStatus().written);
        std::filesystem::remove(logSettings.path);
    }
    std::filesystem::remove_all(dir);
    const double perSweep = cpu / static_cast<double>(sweeps);
    state.counters["us_per_sweep"] = perSweep * 1e6;
    // Percent of one core at 10 sweeps a second.
    tavlin::bench::SetGoalAtMost(state, perSweep * kSweepsPerSecond * 100.0, 1.0);
}

BENCHMARK(LogSweeps)
    ->Arg(static_cast<int>(tavlin::SweepLogFormat::kHeatmap))
    ->Arg(static_cast<int>(tavlin::SweepLogFormat::kTable))
    ->Iterations(10)
    ->Repetitions(3)
    ->ReportAggregatesOnly()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
