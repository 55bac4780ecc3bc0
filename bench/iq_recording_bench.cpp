// Whether an I/Q recording keeps up with the sampler: the writer thread's
// rate into a file against the fastest the unit captures (486111 pairs a
// second, 4 bytes each, about 1.9 MB/s), and the sweep thread's own cost of
// handing over a capture of 16384 pairs against the 34 ms the unit takes to
// sample it. The writer must manage ten times the unit's rate (a disk and a
// page cache shared with other work); the hand-over's share of the capture
// is reported beside it.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <vector>

#include "bench_goals.h"
#include "document/iq_recorder.h"

namespace {

using namespace tavlin;

constexpr std::size_t kPairs = 16384;
constexpr double kFastestPairsPerSecond = 486111.1;

void IqWriterRate(benchmark::State& state) {
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() / ("iq-bench-" + std::to_string(::getpid()));
    const std::vector<std::int32_t> i(kPairs, 1200);
    const std::vector<std::int32_t> q(kPairs, -800);
    IqCapture capture;
    capture.i = i;
    capture.q = q;
    capture.sampleRateHz = kFastestPairsPerSecond;
    capture.centerHz = 915e6;
    double pairsPerSecond = 0.0;
    double handOverSeconds = 0.0;
    std::size_t captures = 0;
    for (auto _ : state) {
        IqRecorder recorder(base, {"TV000123", "Tavlin 2.03", "bench"}, 0.0);
        std::string error;
        if (!recorder.Start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t n = 0; n < IqRecorder::kQueueCaptures; ++n) {
            const double t0 = bench::ThreadCpuSeconds();
            recorder.Offer(capture);
            handOverSeconds += bench::ThreadCpuSeconds() - t0;
            ++captures;
        }
        recorder.Stop();
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        pairsPerSecond = static_cast<double>(recorder.Status().bytesWritten / 4) / wall.count();
    }
    std::filesystem::remove(base.string() + ".sigmf-meta");
    std::filesystem::remove(base.string() + ".sigmf-data");
    const double captureSeconds = kPairs / kFastestPairsPerSecond;
    state.counters["hand_over_us"] = 1e6 * handOverSeconds / static_cast<double>(captures);
    state.counters["hand_over_pct"] =
        100.0 * handOverSeconds / static_cast<double>(captures) / captureSeconds;
    state.counters["MB_per_s"] = 4.0 * pairsPerSecond / 1e6;
    bench::SetGoalAtLeast(state, pairsPerSecond / kFastestPairsPerSecond, 10.0);
}
BENCHMARK(IqWriterRate)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
