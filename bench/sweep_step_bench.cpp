// PC-side processing time of the stepped sweep kinds, without the capture
// itself. The document runs on the virtual unit for its start-up; then a
// replaying driver answers every step list at once with prepared blocks and
// the detector sweep with prepared readings, and the clock is virtual, so an
// iteration is one whole sweep (commands, block decoding, the FFT or power of
// every step, compression checks, mapping to the trace) with nothing left of
// the capture. Each case reports the capture time of its steps
// (steps x 512 pairs / 486111 per second) and the processing's processor time
// as a share of it, which must stay below 2 %.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "document/analyzer_document.h"
#include "document/sweep_pause.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"
#include "timed_document.h"

namespace {

using namespace tavlin;

constexpr int kBlockPairs = 512;
constexpr double kSampleRateHz = 486111.1111;
constexpr std::size_t kBlockBytes = 4 * kBlockPairs;

using bench::SilentPrompter;
using bench::VirtualClock;

// Noise of a few hundred counts and a tone: what a block of a busy band holds.
std::vector<std::uint8_t> PreparedBlock(int variant) {
    std::mt19937 random(static_cast<unsigned>(variant));
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<std::uint8_t> bytes;
    for (int n = 0; n < kBlockPairs; ++n) {
        const double phase = 2.0 * std::numbers::pi * 0.07 * (variant % 5) * n;
        for (const double v :
             {2000.0 * std::cos(phase) + noise(random), 2000.0 * std::sin(phase) + noise(random)}) {
            const auto word = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v)));
            bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        }
    }
    return bytes;
}

std::vector<std::uint8_t> UnSlip(const std::uint8_t* frame, std::size_t n) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < n && frame[i] != 0xC0; ++i) {
        if (frame[i] == 0xDB && i + 1 < n) {
            out.push_back(frame[++i] == 0xDC ? 0xC0 : 0xDB);
        } else {
            out.push_back(frame[i]);
        }
    }
    return out;
}

// Forwards to the virtual unit until Replay() is called; from then on a step
// list is answered at once from prepared blocks and a detector sweep from
// prepared readings (one of them strong, so the wide sweep looks again).
class ReplayDriver final : public UsbDriver {
  public:
    explicit ReplayDriver(UsbDriver& inner) : inner_(inner) {
        for (int v = 0; v < 16; ++v) {
            blocks_.push_back(PreparedBlock(v));
        }
    }
    void Replay() { replay_ = true; }
    long long StepsServed() const { return stepsServed_; }
    void ResetCount() { stepsServed_ = 0; }

    int DeviceCount(int& count) override { return inner_.DeviceCount(count); }
    int DeviceInfo(int index, UsbDeviceInfo& info) override {
        return inner_.DeviceInfo(index, info);
    }
    int OpenByIndex(int index, UsbHandle& handle) override {
        const int result = inner_.OpenByIndex(index, handle);
        UsbDeviceInfo info;
        inner_.HandleInfo(handle, info);
        (info.description == "Tavlin A" ? data_ : command_) = handle;
        return result;
    }
    int SetBaudRate(UsbHandle h, int rate) override { return inner_.SetBaudRate(h, rate); }
    int SetTimeouts(UsbHandle h, int r, int w) override { return inner_.SetTimeouts(h, r, w); }
    int Write(UsbHandle h, const std::uint8_t* frame, std::size_t n,
              std::size_t& written) override {
        const std::vector<std::uint8_t> d = UnSlip(frame, n);
        if (replay_ && h == command_ && d.size() == 5 && (d[0] == 'N' || d[0] == 'B')) {
            const int first = d[1] | d[2] << 8;
            const int last = d[3] | d[4] << 8;
            if (d[0] == 'N') {
                pendingBlocks_ += std::abs(last - first) + 1;
                stepsServed_ += std::abs(last - first) + 1;
            } else {
                reply_.clear();
                for (int j = 0; j < (last - first) / 3; ++j) {
                    const int reading = j == 255 || j == 262 ? 400 : 100 + j % 7;
                    reply_.push_back(static_cast<std::uint8_t>(reading >> 8));
                    reply_.push_back(static_cast<std::uint8_t>(reading & 0xFF));
                }
            }
            written = n;
            return kUsbOk;
        }
        return inner_.Write(h, frame, n, written);
    }
    int Read(UsbHandle h, std::uint8_t* d, std::size_t n, std::size_t& got) override {
        if (replay_ && h == data_) {
            got = 0;
            while (got + kBlockBytes <= n && pendingBlocks_ > 0) {
                const auto& block =
                    blocks_[static_cast<std::size_t>(pendingBlocks_) % blocks_.size()];
                std::copy(block.begin(), block.end(), d + got);
                got += kBlockBytes;
                --pendingBlocks_;
            }
            return kUsbOk;
        }
        if (replay_ && h == command_ && !reply_.empty()) {
            got = std::min(n, reply_.size());
            std::copy(reply_.begin(), reply_.begin() + static_cast<std::ptrdiff_t>(got), d);
            reply_.erase(reply_.begin(), reply_.begin() + static_cast<std::ptrdiff_t>(got));
            return kUsbOk;
        }
        return inner_.Read(h, d, n, got);
    }
    int QueueStatus(UsbHandle h, std::size_t& waiting) override {
        if (replay_ && h == data_) {
            waiting = static_cast<std::size_t>(pendingBlocks_) * kBlockBytes;
            return kUsbOk;
        }
        return inner_.QueueStatus(h, waiting);
    }
    int Purge(UsbHandle h) override {
        if (replay_ && h == data_) {
            pendingBlocks_ = 0;
            return kUsbOk;
        }
        return inner_.Purge(h);
    }
    int HandleInfo(UsbHandle h, UsbDeviceInfo& info) override { return inner_.HandleInfo(h, info); }
    int CyclePort(UsbHandle h) override { return inner_.CyclePort(h); }
    int Close(UsbHandle h) override { return inner_.Close(h); }

  private:
    UsbDriver& inner_;
    bool replay_ = false;
    UsbHandle data_ = kNoHandle;
    UsbHandle command_ = kNoHandle;
    std::vector<std::vector<std::uint8_t>> blocks_;
    long long pendingBlocks_ = 0;
    long long stepsServed_ = 0;
    std::vector<std::uint8_t> reply_;
};

struct ReplayedDocument {
    ReplayedDocument()
        : cacheDir(std::filesystem::temp_directory_path() /
                   ("tavlin-step-bench-" + std::to_string(::getpid()))),
          unit(clock, sim::DefaultScene()),
          replay(unit),
          doc((std::filesystem::create_directories(cacheDir),
               DocumentPorts{replay, clock, prompter, views, progress}),
              cacheDir) {
        replay.Replay();
    }
    ~ReplayedDocument() { std::filesystem::remove_all(cacheDir); }

    std::filesystem::path cacheDir;
    VirtualClock clock;
    SilentPrompter prompter;
    NullViewNotifier views;
    NullProgressSink progress;
    sim::VirtualInstrument unit;
    ReplayDriver replay;
    AnalyzerDocument doc;
    SweepPause pause{doc};  // the bench drives the unit alone
};

void SweepOnPreparedBlocks(benchmark::State& state, double startHz, double stopHz) {
    ReplayedDocument replayed;
    replayed.doc.SetFrequencies(startHz, stopHz);
    replayed.doc.PerformSweep();  // buffers and plans made once
    replayed.replay.ResetCount();
    double processingSec = 0.0;
    for (auto _ : state) {
        const double begin = bench::ThreadCpuSeconds();
        replayed.doc.PerformSweep();
        processingSec += bench::ThreadCpuSeconds() - begin;
        replayed.pause.Instrument().RequestStop(false);
    }
    const auto iterations = static_cast<double>(state.iterations());
    const double steps = static_cast<double>(replayed.replay.StepsServed()) / iterations;
    const double captureSec = steps * kBlockPairs / kSampleRateHz;
    state.counters["steps"] = steps;
    state.counters["capture_ms"] = captureSec * 1e3;
    bench::SetGoalAtMost(state, processingSec / iterations / captureSec * 100.0, 2.0);  // %
}

void StepSweep26MHz(benchmark::State& state) {
    SweepOnPreparedBlocks(state, 902e6, 928e6);
}
void StepSweep200MHz(benchmark::State& state) {
    SweepOnPreparedBlocks(state, 800e6, 1000e6);
}
void StepSweep200MHzFromZero(benchmark::State& state) {
    SweepOnPreparedBlocks(state, 0.0, 200e6);
}
void WideSweepFullSpan(benchmark::State& state) {
    SweepOnPreparedBlocks(state, 0.0, 4.4e9);
}

BENCHMARK(StepSweep26MHz)->Unit(benchmark::kMillisecond);
BENCHMARK(StepSweep200MHz)->Unit(benchmark::kMillisecond);
BENCHMARK(StepSweep200MHzFromZero)->Unit(benchmark::kMillisecond);
BENCHMARK(WideSweepFullSpan)->Unit(benchmark::kMillisecond);

// The wall time of a whole sweep on the virtual unit over the unit's time
// to sample it: step sweeps of 1 MHz and 26 MHz (low and high side apart
// below 20 MHz) and the wide sweep over the full span.
void StepSweepPace(benchmark::State& state, double centerHz, double spanHz) {
    bench::TimedDocument timed(centerHz, spanHz);
    bench::WallOverPhysical(state, timed);
}
BENCHMARK_CAPTURE(StepSweepPace, Span1MHz, 915e6, 1e6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StepSweepPace, Span26MHz, 915e6, 26e6)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StepSweepPace, WideFullSpan, 2.2e9, 4.4e9)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
