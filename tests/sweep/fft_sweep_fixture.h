#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/vudavezid.h"
#include "ports/progress_sink.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"
#include "support/forwarding_usb_driver.h"
#include "support/recording_prompter.h"
#include "support/recording_view_notifier.h"
#include "support/scripted_usb_driver.h"
#include "support/test_directory.h"

namespace tavlin::test {

constexpr double kSamplerClockHz = 23333333.33;

// Passes everything to the virtual unit and keeps the command frames that
// reach it (unescaped), so a test can see what was programmed.
class RecordingDriver final : public ForwardingUsbDriver {
  public:
    explicit RecordingDriver(UsbDriver& inner) : ForwardingUsbDriver(inner) {}

    // Synthesizer register-0 words (INT and FRAC) sent so far.
    int Register0Writes() const {
        std::lock_guard lock(mutex_);
        int count = 0;
        for (const auto& frame : frames_) {
            if (frame.size() == 5 && frame[0] == 'L' && (frame[4] & 0x07) == 0) {
                ++count;
            }
        }
        return count;
    }
    std::vector<std::vector<std::uint8_t>> Frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    void ClearFrames() {
        std::lock_guard lock(mutex_);
        frames_.clear();
    }

    int Write(UsbHandle h, const std::uint8_t* d, std::size_t n, std::size_t& w) override {
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(UnSlip(std::vector<std::uint8_t>(d, d + n)));
        }
        return inner_.Write(h, d, n, w);
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> frames_;
};

// Records the progress window's events and runs a hook at each position
// (for example: pull the cable half-way through a streamed capture).
class HookedProgressSink final : public ProgressSink {
  public:
    void Show() override { Record("show"); }
    void SetPosition(int percent) override {
        Record(std::to_string(percent));
        std::function<void(int)> hook;
        {
            std::lock_guard lock(mutex_);
            hook = onPosition_;
        }
        if (hook) {
            hook(percent);
        }
    }
    void Hide() override { Record("hide"); }
    void OnPosition(std::function<void(int)> hook) {
        std::lock_guard lock(mutex_);
        onPosition_ = std::move(hook);
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

  private:
    void Record(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::function<void(int)> onPosition_;
};

// A document on a virtual instrument with the scene a test chooses, swept by
// the engine on the test's thread and read back as PEAK reads a trace: the
// peak is the smallest row, and a row's level is ref - dB/div x row x 0.02.
class VirtualUnitSweepTest : public ::testing::Test {
  protected:
    VirtualUnitSweepTest() { cacheDir = MakeTestDirectory("tavlin-fft"); }
    ~VirtualUnitSweepTest() override {
        doc.reset();
        std::filesystem::remove_all(cacheDir);
    }

    static sim::SceneEmitter Cw(double freqHz, double levelDbm) {
        return {freqHz, levelDbm, std::nullopt, std::nullopt};
    }

    VUDAVEZid& Start(std::vector<sim::SceneEmitter> signals, double noiseDbmHz = -160.0,
                     double tcxoPpb = 0.0) {
        sim::Scene scene = sim::DefaultScene();
        scene.signals = std::move(signals);
        scene.noiseFloorDbmHz = noiseDbmHz;
        scene.tcxoPpb = tcxoPpb;
        doc.reset();
        unit = std::make_unique<sim::VirtualInstrument>(clock, scene);
        recorder = std::make_unique<RecordingDriver>(*unit);
        doc = std::make_unique<VUDAVEZid>(
            DocumentPorts{*recorder, clock, prompter, views, progress}, cacheDir);
        return *doc;
    }
    // Frequencies as the span commands set them, the level plan they would
    // run, and one sweep.
    void Sweep(double centerHz, double spanHz) {
        doc->SetCenterSpan(centerHz, spanHz);
        doc->ApplyLevelPlan();
        doc->engine.PerformSweep(*doc);
    }
    void SetImageReject(bool on) {
        doc->EditSettings([on](InstrumentState& s) { s.imageReject = on ? 1 : 0; });
    }
    void SetRefLevel(double dbm) {
        doc->EditSettings([dbm](InstrumentState& s) { s.refLevelDbm = dbm; });
    }

    double LevelOfRow(double row) const {
        return doc->state.refLevelDbm - doc->state.dbPerDiv * row * 0.02;
    }
    double PixelHz(int pixel) const {
        const FrequencyPair f = doc->Frequencies();
        return f.startHz + pixel * f.SpanHz() / 640.0;
    }
    struct Reading {
        int pixel = 0;
        double freqHz = 0.0;
        double levelDbm = 0.0;
    };
    Reading Peak() const {
        const auto& rows = doc->trace.traceA;
        const auto pixel =
            static_cast<int>(std::min_element(rows.begin(), rows.end()) - rows.begin());
        return {pixel, PixelHz(pixel), LevelOfRow(rows[static_cast<std::size_t>(pixel)])};
    }
    // The median level: the noise floor where a few signals show.
    double MedianLevel() const {
        std::vector<double> rows(doc->trace.traceA.begin(), doc->trace.traceA.end());
        std::nth_element(rows.begin(), rows.begin() + 320, rows.end());
        return LevelOfRow(rows[320]);
    }
    std::string Boxes() const {
        std::string all;
        for (const auto& box : prompter.Boxes()) {
            all += box.caption + ": " + box.text + "\n";
        }
        return all;
    }

    std::filesystem::path cacheDir;
    FakeClock clock;
    RecordingPrompter prompter;
    RecordingViewNotifier views;
    HookedProgressSink progress;
    std::unique_ptr<sim::VirtualInstrument> unit;
    std::unique_ptr<RecordingDriver> recorder;
    std::unique_ptr<VUDAVEZid> doc;
};

}  // namespace tavlin::test
