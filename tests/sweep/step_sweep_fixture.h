#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/vudavezid.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"
#include "support/recording_progress_sink.h"
#include "support/recording_prompter.h"
#include "support/recording_view_notifier.h"

namespace tavlin::test {

// The document on a virtual instrument whose scene a test chooses, swept by
// the engine directly (no sweep thread), and read back as the marker would:
// the peak is the smallest row of the trace.
class SweptUnitFixture : public ::testing::Test {
  protected:
    SweptUnitFixture() {
        cacheDir = std::filesystem::temp_directory_path() /
                   ("tavlin-swept-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(cacheDir);
    }
    ~SweptUnitFixture() override {
        doc.reset();
        unit.reset();
        std::filesystem::remove_all(cacheDir);
    }

    VUDAVEZid& Start(const std::vector<sim::SceneEmitter>& signals, double tcxoPpb = 0.0,
                     double noiseFloorDbmHz = -160.0) {
        sim::Scene scene = sim::DefaultScene();
        scene.signals = signals;
        scene.tcxoPpb = tcxoPpb;
        scene.noiseFloorDbmHz = noiseFloorDbmHz;
        doc.reset();
        unit = std::make_unique<sim::VirtualInstrument>(clock, scene);
        doc = std::make_unique<VUDAVEZid>(DocumentPorts{*unit, clock, prompter, views, progress},
                                          cacheDir);
        return *doc;
    }

    void Sweep(double startHz, double stopHz) {
        doc->SetFrequencies(startHz, stopHz);
        doc->ApplyLevelPlan();
        doc->engine.PerformSweep(*doc);
    }

    struct Reading {
        int pixel = 0;
        double freqHz = 0.0;
        double levelDbm = 0.0;
    };

    double LevelOfRow(double row) const {
        return doc->state.refLevelDbm - doc->state.dbPerDiv * row * 0.02;
    }
    double PixelHz(int pixel) const {
        const FrequencyPair f = doc->Frequencies();
        return f.startHz + pixel * f.SpanHz() / 640.0;
    }
    Reading Peak() const {
        const auto& rows = doc->trace.traceA;
        const int pixel =
            static_cast<int>(std::min_element(rows.begin(), rows.end()) - rows.begin());
        return {pixel, PixelHz(pixel), LevelOfRow(rows[pixel])};
    }
    // The highest level over the pixels within toleranceHz of freqHz.
    double LevelNear(double freqHz, double toleranceHz) const {
        double best = -1e9;
        for (int i = 0; i < 641; ++i) {
            if (std::abs(PixelHz(i) - freqHz) <= toleranceHz) {
                best = std::max(best, LevelOfRow(doc->trace.traceA[i]));
            }
        }
        return best;
    }
    // The median level of the trace: the noise floor when a few signals show.
    double MedianLevel() const {
        std::vector<double> rows(doc->trace.traceA.begin(), doc->trace.traceA.end());
        std::nth_element(rows.begin(), rows.begin() + 320, rows.end());
        return LevelOfRow(rows[320]);
    }

    std::filesystem::path cacheDir;
    FakeClock clock;
    RecordingPrompter prompter;
    RecordingViewNotifier views;
    RecordingProgressSink progress;
    std::unique_ptr<sim::VirtualInstrument> unit;
    std::unique_ptr<VUDAVEZid> doc;
};

}  // namespace tavlin::test
