// Our FFT beside FFTW (FFTW_MEASURE, one thread) at the lengths the sweeps
// use: 16 to 256 (the step list's spectra and step power), 512 to 65536
// (FftSweep, 4096 and 16384 its common ones) and 2^21 and 2^23 (NarrowFftSweep),
// out of place and in place. After the runs a table gives each of our times
// over FFTW's time at the same length, measured in the same run: processor
// time (what each transform costs, and steadier on a busy machine) and wall
// time. With repetitions the table takes the median of each, from the single
// runs or, when only aggregates are reported, from the median aggregate. On a
// shared machine run for instance
//   fft_bench --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
// so that a burst of load elsewhere does not fall on one transform only.
//
// The goal is the in-place transform, as the sweeps call it: its processor
// time over FFTW's at most 1.2 below 16384 points and at most 1.0 from there
// on. The program prints the goal and each length's ratio and exits with 1
// when a length misses it.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "dsp/fft.h"
#include "dsp/split_complex_buffer.h"

namespace {

constexpr long kLongFrom = 16384;
constexpr double kShortGoal = 1.2;
constexpr double kLongGoal = 1.0;

void FillRandom(std::vector<double>& re, std::vector<double>& im) {
    std::mt19937_64 random(1);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (std::size_t i = 0; i < re.size(); ++i) {
        re[i] = uniform(random);
        im[i] = uniform(random);
    }
}

void BM_Fftw(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    auto* in = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
    auto* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
    fftw_plan plan = fftw_plan_dft_1d(static_cast<int>(n), in, out, FFTW_FORWARD, FFTW_MEASURE);
    std::vector<double> re(n), im(n);
    FillRandom(re, im);
    for (std::size_t i = 0; i < n; ++i) {
        in[i][0] = re[i];
        in[i][1] = im[i];
    }
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out[0][0]);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}

void BM_Tavlin(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const tavlin::Fft fft(n);
    std::vector<double> re(n), im(n), outRe(n), outIm(n);
    FillRandom(re, im);
    for (auto _ : state) {
        fft.Forward(re, im, outRe, outIm);
        benchmark::DoNotOptimize(outRe.data());
        benchmark::ClobberMemory();
    }
}

// Forward and inverse by turns, so that the values keep their size (the
// forward transform divides by N).
void BM_TavlinInPlace(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const tavlin::Fft fft(n);
    std::vector<double> values(n), imaginary(n);
    FillRandom(values, imaginary);
    // The arrays as the sweeps hold them, in one staggered buffer.
    tavlin::SplitComplexBuffer buffer(n);
    const std::span<double> re = buffer.Re();
    const std::span<double> im = buffer.Im();
    std::copy(values.begin(), values.end(), re.begin());
    std::copy(imaginary.begin(), imaginary.end(), im.begin());
    bool forward = true;
    for (auto _ : state) {
        fft.TransformInPlace(
            forward ? tavlin::FftDirection::kForward : tavlin::FftDirection::kInverse, re, im);
        forward = !forward;
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
}

// The same on two vectors of their own, each as the allocator places it:
// what the staggered buffer gains.
void BM_TavlinInPlacePlainVectors(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const tavlin::Fft fft(n);
    std::vector<double> re(n), im(n);
    FillRandom(re, im);
    bool forward = true;
    for (auto _ : state) {
        fft.TransformInPlace(
            forward ? tavlin::FftDirection::kForward : tavlin::FftDirection::kInverse, re, im);
        forward = !forward;
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
}

void Lengths(benchmark::internal::Benchmark* b) {
    for (long n : {16L, 32L, 64L, 128L, 256L, 512L, 4096L, 16384L, 65536L, 1L << 21, 1L << 23}) {
        b->Arg(n);
    }
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Fftw)->Apply(Lengths);
BENCHMARK(BM_Tavlin)->Apply(Lengths);
BENCHMARK(BM_TavlinInPlace)->Apply(Lengths);
BENCHMARK(BM_TavlinInPlacePlainVectors)->Apply(Lengths);

// The console output, then the ratio table and the goal. Colours only on a
// terminal: a reporter of our own does not follow --benchmark_color.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            Samples& samples = times_[run.run_name.function_name][std::stol(run.run_name.args)];
            if (run.run_type == Run::RT_Iteration) {
                samples.cpu.push_back(run.GetAdjustedCPUTime());
                samples.wall.push_back(run.GetAdjustedRealTime());
            } else if (run.aggregate_name == "median") {
                samples.medianCpu = run.GetAdjustedCPUTime();
                samples.medianWall = run.GetAdjustedRealTime();
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto fftw = times_.find("BM_Fftw");
        if (fftw == times_.end()) {
            std::printf("\nFFTW not measured: no ratios, goal not checked\n");
            return;
        }
        std::printf("\n%-17s %8s %12s %12s %7s %12s %12s %7s\n", "transform", "N", "cpu (us)",
                    "FFTW cpu", "ratio", "wall (us)", "FFTW wall", "ratio");
        for (const auto& [name, byLength] : times_) {
            if (name == "BM_Fftw") {
                continue;
            }
            for (const auto& [length, ours] : byLength) {
                const auto yardstick = fftw->second.find(length);
                if (yardstick == fftw->second.end()) {
                    continue;
                }
                const Samples& theirs = yardstick->second;
                const double cpuRatio = ours.Cpu() / theirs.Cpu();
                std::printf("%-17s %8ld %12.3f %12.3f %7.2f %12.3f %12.3f %7.2f\n", name.c_str(),
                            length, ours.Cpu(), theirs.Cpu(), cpuRatio, ours.Wall(), theirs.Wall(),
                            ours.Wall() / theirs.Wall());
                if (name == "BM_TavlinInPlace") {
                    CheckGoal(length, cpuRatio);
                }
            }
        }
        std::printf(
            "\ngoal: in place, processor time over FFTW's at most %.2f below N = %ld and at "
            "most %.2f from there on\n",
            kShortGoal, kLongFrom, kLongGoal);
        for (const auto& [length, verdict] : verdicts_) {
            std::printf("  N = %8ld: %5.2f (goal %.2f) %s\n", length, verdict.ratio, verdict.goal,
                        verdict.ratio <= verdict.goal ? "met" : "MISSED");
        }
        if (verdicts_.empty()) {
            std::printf("  no in-place run measured beside FFTW: goal not checked\n");
        }
    }

    bool Missed() const {
        return std::any_of(verdicts_.begin(), verdicts_.end(), [](const auto& entry) {
            return entry.second.ratio > entry.second.goal;
        });
    }

  private:
    struct Samples {
        std::vector<double> cpu;
        std::vector<double> wall;
        double medianCpu = 0.0;
        double medianWall = 0.0;

        double Cpu() const { return cpu.empty() ? medianCpu : Median(cpu); }
        double Wall() const { return wall.empty() ? medianWall : Median(wall); }
    };
    struct Verdict {
        double ratio;
        double goal;
    };

    static double Median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t middle = values.size() / 2;
        return values.size() % 2 != 0 ? values[middle]
                                      : (values[middle - 1] + values[middle]) / 2.0;
    }

    void CheckGoal(long length, double ratio) {
        verdicts_[length] = {ratio, length < kLongFrom ? kShortGoal : kLongGoal};
    }

    std::map<std::string, std::map<long, Samples>> times_;
    std::map<long, Verdict> verdicts_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.Missed() ? 1 : 0;
}
