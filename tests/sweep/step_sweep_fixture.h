#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/document_fixture.h"
#include "app/vudavezid.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"
#include "support/recording_progress_sink.h"
#include "support/recording_prompter.h"
#include "support/recording_view_notifier.h"
#include "support/test_directory.h"

namespace tavlin::test {

// The document on a virtual instrument whose scene a test chooses, swept by
// the engine directly (no sweep thread), and read back as the marker would:
// the peak is the smallest row of the trace.
class SweptUnitFixture : public ::testing::Test {
  protected:
    SweptUnitFixture() { cacheDir = MakeTestDirectory("tavlin-swept"); }
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

// A document on a scripted instrument that answers every step list with
// blocks of a chosen sample pattern (none when it is empty) and every
// detector sweep with readings from a chosen function, and records the
// route, step-list and detector commands in order ("D4", "N4457-4694",
// "B138-4416").
class StepListScriptFixture : public DocumentFixture {
  protected:
    using Sample = std::function<std::pair<int, int>(int)>;
    using Readings = std::function<int(int)>;

    VUDAVEZid& BuildAnswering(Sample sample, Readings readings = nullptr) {
        auto previous = usb.onWrite;
        usb.onWrite = [this, previous, sample, readings](UsbHandle handle, const Bytes& frame) {
            previous(handle, frame);
            const Bytes c = UnSlip(frame);
            if (handle != FakeCalMemory::kCommandHandle || c.empty()) {
                return;
            }
            if (c[0] == 'D' && c.size() == 2) {
                sequence.push_back("D" + std::to_string(c[1]));
            }
            if ((c[0] == 'N' || c[0] == 'B') && c.size() == 5) {
                const int first = c[1] | c[2] << 8;
                const int last = c[3] | c[4] << 8;
                sequence.push_back(std::string(1, static_cast<char>(c[0])) + std::to_string(first) +
                                   "-" + std::to_string(last));
                if (c[0] == 'N') {
                    for (int b = 0; sample && b <= std::abs(last - first); ++b) {
                        usb.QueueReceive(1, BlockOf(sample));
                    }
                } else if (readings) {
                    Bytes reply;
                    for (int j = 0; j < (last - first) / 3; ++j) {
                        reply.push_back(static_cast<std::uint8_t>(readings(j) >> 8));
                        reply.push_back(static_cast<std::uint8_t>(readings(j) & 0xFF));
                    }
                    usb.QueueReceive(FakeCalMemory::kCommandHandle, reply);
                }
            }
        };
        return BuildWithInstrument();
    }
    static Bytes BlockOf(const Sample& sample) {
        Bytes bytes;
        for (int n = 0; n < 512; ++n) {
            const auto [i, q] = sample(n);
            for (const int v : {i, q}) {
                bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
                bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
            }
        }
        return bytes;
    }
    std::vector<std::string> Sweep(VUDAVEZid& d, double start, double stop) {
        sequence.clear();
        d.SetFrequencies(start, stop);
        d.engine.PerformSweep(d);
        return sequence;
    }

    std::vector<std::string> sequence;
};

// A block of a few counts of noise-like samples.
inline std::function<std::pair<int, int>(int)> QuietBlock() {
    return [](int n) { return std::pair{n % 3 - 1, n % 5 - 2}; };
}

}  // namespace tavlin::test
