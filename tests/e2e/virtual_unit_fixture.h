#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "document/analyzer_document.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"
#include "support/document_access.h"
#include "support/fake_clock.h"
#include "support/forwarding_usb_driver.h"
#include "support/recording_progress_sink.h"
#include "support/recording_prompter.h"
#include "support/recording_view_notifier.h"
#include "support/scripted_usb_driver.h"
#include "support/test_directory.h"

namespace tavlin::test {

constexpr double kSamplerClockHz = 23333333.33;
constexpr double kNear630Hz = 27 * kSamplerClockHz + 50e3;  // clock mode 2
constexpr double kNear653Hz = 28 * kSamplerClockHz + 60e3;  // clock mode 1, mirrored

// Passes everything to the virtual unit, keeps the command frames that reach
// it (unescaped), counts the 4096-pair blocks read from the data channel and
// can act after a given one (pull the cable, request a stop).
class WatchingDriver final : public ForwardingUsbDriver {
  public:
    explicit WatchingDriver(UsbDriver& inner) : ForwardingUsbDriver(inner) {}

    std::atomic<int> blocksRead{0};
    std::function<void(int)> afterBlock;  // set before a sweep starts

    int Count(const std::function<bool(const std::vector<std::uint8_t>&)>& match) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::ranges::count_if(frames_, match));
    }
    // Synthesizer register-0 words (INT and FRAC).
    int Register0Writes() const {
        return Count([](const auto& f) { return f.size() == 5 && f[0] == 'L' && !(f[4] & 7); });
    }
    int CaptureRequests() const {
        return Count([](const auto& f) { return f.size() == 2 && f[0] == 'S'; });
    }
    int StreamStarts() const {
        return Count([](const auto& f) { return f == std::vector<std::uint8_t>{'T'}; });
    }

    int Write(UsbHandle h, const std::uint8_t* d, std::size_t n, std::size_t& w) override {
        std::unique_lock lock(mutex_);
        frames_.push_back(UnSlip(std::vector<std::uint8_t>(d, d + n)));
        lock.unlock();
        return inner_.Write(h, d, n, w);
    }
    int Read(UsbHandle h, std::uint8_t* d, std::size_t n, std::size_t& g) override {
        const int status = inner_.Read(h, d, n, g);
        if (n == 16384 && g == n) {
            const int block = ++blocksRead;
            if (afterBlock) {
                afterBlock(block);
            }
        }
        return status;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> frames_;
};

// What the virtual unit is for one test: its emitters and imperfections.
struct UnitSetup {
    double noiseDbmHz = -160.0;
    double tcxoPpb = 0.0;
};

// A document on a virtual instrument with the scene a test chooses, swept by
// the engine on the test's thread (or by the sweep thread) and read back as
// the screen shows a trace: the peak is the smallest row, and a row's level
// is ref - dB/div x row x 0.02.
class VirtualUnitTest : public ::testing::Test {
  protected:
    ~VirtualUnitTest() override {
        doc.reset();
        std::filesystem::remove_all(cacheDir);
    }

    static sim::SceneEmitter Cw(double freqHz, double levelDbm) {
        return {freqHz, levelDbm, std::nullopt, std::nullopt};
    }

    AnalyzerDocument& Start(std::vector<sim::SceneEmitter> signals, const UnitSetup& setup = {}) {
        sim::Scene scene = sim::DefaultScene();
        scene.signals = std::move(signals);
        scene.noiseFloorDbmHz = setup.noiseDbmHz;
        scene.tcxoPpb = setup.tcxoPpb;
        return Start(scene);
    }
    // A new unit has its own table: the cached one of the last unit is
    // dropped unless the test keeps it.
    AnalyzerDocument& Start(const sim::Scene& scene) {
        doc.reset();
        if (!keepCalibrationCache) {
            std::filesystem::remove_all(cacheDir);
            std::filesystem::create_directories(cacheDir);
        }
        unit = std::make_unique<sim::VirtualInstrument>(clock, scene);
        driver = std::make_unique<WatchingDriver>(*unit);
        prompter.Clear();
        doc = std::make_unique<AnalyzerDocument>(
            DocumentPorts{*driver, clock, prompter, views, progress}, cacheDir);
        return *doc;
    }
    // Frequencies as the span commands set them, the level plan they would
    // run, and one sweep.
    void Sweep(double centerHz, double spanHz) {
        doc->SetCenterSpan(centerHz, spanHz);
        Sweep();
    }
    void SweepRange(double startHz, double stopHz) {
        doc->SetFrequencies(startHz, stopHz);
        Sweep();
    }
    void Sweep() {
        doc->ApplyLevelPlan();
        doc->PerformSweep();
    }
    void Edit(const std::function<void(InstrumentState&)>& edit) { doc->EditSettings(edit); }
    // The residual error of LO1 in the last plan.
    double LoErrorHz() {
        return WithInstrument(*doc, [](InstrumentLease& i) { return i.Plan().lo1ErrorHz; });
    }

    double LevelOfRow(double row) const {
        return doc->Settings().refLevelDbm - doc->Settings().dbPerDiv * row * 0.02;
    }
    double RowOf(double levelDbm) const {
        return (doc->Settings().refLevelDbm - levelDbm) * 50.0 / doc->Settings().dbPerDiv;
    }
    decltype(SweepTrace::traceA) Rows() const { return test::TraceOf(*doc).traceA; }
    double MinRow() const { return std::ranges::min(Rows()); }
    double MaxRow() const { return std::ranges::max(Rows()); }
    // The highest level over the pixels within toleranceHz of freqHz, or
    // (beyond) the highest more than toleranceHz away.
    double LevelNear(double freqHz, double toleranceHz, bool beyond = false) const {
        const FrequencyPair f = doc->Frequencies();
        const auto rows = Rows();
        double best = -1e9;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if ((std::abs(f.startHz + i * f.SpanHz() / 640.0 - freqHz) <= toleranceHz) != beyond) {
                best = std::max(best, LevelOfRow(rows[i]));
            }
        }
        return best;
    }
    // The median level: the noise floor where a few signals show.
    double MedianLevel() const {
        auto rows = Rows();
        std::ranges::nth_element(rows, rows.begin() + 320);
        return LevelOfRow(rows[320]);
    }
    std::string Boxes() const { return prompter.Text(); }
    int BoxCount(const std::string& text) const {
        return static_cast<int>(
            std::ranges::count(prompter.Boxes(), text, &RecordingPrompter::Box::text));
    }

    const std::filesystem::path cacheDir = MakeTestDirectory("tavlin-unit");
    bool keepCalibrationCache = false;
    FakeClock clock;
    RecordingPrompter prompter;
    RecordingViewNotifier views;
    RecordingProgressSink progress;
    std::unique_ptr<sim::VirtualInstrument> unit;
    std::unique_ptr<WatchingDriver> driver;
    std::unique_ptr<AnalyzerDocument> doc;
};

}  // namespace tavlin::test
