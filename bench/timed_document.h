#pragma once

// A document on the virtual unit with virtual time for the sweep
// benchmarks, with the processor time the unit spends answering kept apart
// from the program's own.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_goals.h"
#include "device/device_link.h"
#include "document/analyzer_document.h"
#include "document/instrument_lease.h"
#include "document/sweep_pause.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"

namespace tavlin::bench {

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

// The default scene's unit with one carrier 1234 Hz above centerHz.
inline sim::Scene OneCarrier(double centerHz) {
    sim::Scene scene = sim::DefaultScene();
    scene.signals = {{centerHz + 1234.0, -30.0, std::nullopt, std::nullopt}};
    return scene;
}

// Passes every call to the virtual unit and keeps, apart, the processor
// time the unit spends answering, and the sample pairs it streamed.
class TimedUnit final : public UsbDriver {
  public:
    explicit TimedUnit(UsbDriver& inner) : inner_(inner) {}

    double unitSeconds = 0.0;
    long long pairsRead = 0;
    UsbHandle data = kNoHandle;

    int DeviceCount(int& c) override { return inner_.DeviceCount(c); }
    int DeviceInfo(int i, UsbDeviceInfo& info) override { return inner_.DeviceInfo(i, info); }
    int OpenByIndex(int i, UsbHandle& h) override {
        const int result = inner_.OpenByIndex(i, h);
        UsbDeviceInfo info;
        inner_.HandleInfo(h, info);
        if (info.description == "Tavlin A") {
            data = h;
        }
        return result;
    }
    int SetBaudRate(UsbHandle h, int r) override { return inner_.SetBaudRate(h, r); }
    int SetTimeouts(UsbHandle h, int r, int w) override { return inner_.SetTimeouts(h, r, w); }
    int Write(UsbHandle h, const std::uint8_t* d, std::size_t n, std::size_t& w) override {
        CountStepBlocks(d, n);
        const double t0 = ThreadCpuSeconds();
        const int result = inner_.Write(h, d, n, w);
        unitSeconds += ThreadCpuSeconds() - t0;
        return result;
    }
    int Read(UsbHandle h, std::uint8_t* d, std::size_t n, std::size_t& g) override {
        const double t0 = ThreadCpuSeconds();
        const int result = inner_.Read(h, d, n, g);
        unitSeconds += ThreadCpuSeconds() - t0;
        if (h == data) {
            pairsRead += static_cast<long long>(g / 4);
        }
        return result;
    }
    int QueueStatus(UsbHandle h, std::size_t& w) override { return inner_.QueueStatus(h, w); }
    int Purge(UsbHandle h) override { return inner_.Purge(h); }
    int HandleInfo(UsbHandle h, UsbDeviceInfo& info) override { return inner_.HandleInfo(h, info); }
    int CyclePort(UsbHandle h) override { return inner_.CyclePort(h); }
    int Close(UsbHandle h) override { return inner_.Close(h); }

    long long stepBlocks = 0;

  private:
    // A step list ("N" first last, no byte that needs escaping at the steps
    // the sweeps use) asks for one block of 512 pairs per step.
    void CountStepBlocks(const std::uint8_t* d, std::size_t n) {
        if (n == 6 && d[0] == 'N' && d[5] == 0xC0) {
            const int first = d[1] | d[2] << 8;
            const int last = d[3] | d[4] << 8;
            stepBlocks += std::abs(last - first) + 1;
        }
    }

    UsbDriver& inner_;
};

struct TimedDocument {
    TimedDocument(double centerHz, double spanHz)
        : cacheDir(std::filesystem::temp_directory_path() /
                   ("tavlin-fft-bench-" + std::to_string(::getpid()))),
          unit(clock, OneCarrier(centerHz)),
          timed(unit),
          doc((std::filesystem::create_directories(cacheDir),
               DocumentPorts{timed, clock, prompter, views, progress}),
              cacheDir) {
        doc.SetCenterSpan(centerHz, spanHz);
        doc.PerformSweep();  // plans and buffers made once
    }
    ~TimedDocument() { std::filesystem::remove_all(cacheDir); }

    std::filesystem::path cacheDir;
    VirtualClock clock;
    SilentPrompter prompter;
    NullViewNotifier views;
    NullProgressSink progress;
    sim::VirtualInstrument unit;
    TimedUnit timed;
    AnalyzerDocument doc;
    SweepPause pause{doc};  // the bench drives the unit alone
};

// How long a sweep takes on the wall clock against the time the unit needs
// to sample what the sweep reads: pairs x D / fs, plus the unit's settling
// before each step block (150 us). The wall time is the virtual clock's
// advance (every wait of the program) plus the program's own processor time.
// The goal: no more than a tenth above the physical time, or 10 ms.
inline void WallOverPhysical(benchmark::State& state, TimedDocument& timed) {
    constexpr double kStepSettleSec = 150e-6;
    timed.doc.PerformSweep();  // the unit holds this sweep's settings
    timed.pause.Instrument().RequestStop(false);
    timed.timed.unitSeconds = 0.0;
    timed.timed.pairsRead = 0;
    timed.timed.stepBlocks = 0;
    double wallSec = 0.0;
    for (auto _ : state) {
        const Clock::TimePoint begin = timed.clock.Now();
        const double cpu0 = ThreadCpuSeconds();
        timed.doc.PerformSweep();
        wallSec += ThreadCpuSeconds() - cpu0;
        wallSec += std::chrono::duration<double>(timed.clock.Now() - begin).count();
        timed.pause.Instrument().RequestStop(false);
    }
    InstrumentLease& instrument = timed.pause.Instrument();
    const double iterations = static_cast<double>(state.iterations());
    const double pairSec =
        instrument.Link().DecimationSent() / instrument.Plan().receiver.sampleRateHz;
    const double physicalSec = (static_cast<double>(timed.timed.pairsRead) * pairSec +
                                static_cast<double>(timed.timed.stepBlocks) * kStepSettleSec) /
                               iterations;
    const double overMs =
        (wallSec - timed.timed.unitSeconds) / iterations * 1e3 - physicalSec * 1e3;
    state.counters["physical_ms"] = physicalSec * 1e3;
    SetGoalAtMost(state, overMs, std::max(10.0, 0.1 * physicalSec * 1e3));
}

}  // namespace tavlin::bench
