// libFuzzer target: scene text of any content. A refused scene must say why;
// an accepted one becomes a virtual unit that the program opens (reading its
// calibration memory) and sweeps once, over a narrow span about its first
// emitter, so the synthesizer, the unit's response and the level path all run
// on what the scene holds. The trace that comes out must be finite.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

#include "document/analyzer_document.h"
#include "document_bench.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"
#include "support/recording_prompter.h"
#include "support/recording_view_notifier.h"

namespace {

// Virtual time; a sleep only lets other threads run.
class InstantClock final : public tavlin::Clock {
  public:
    TimePoint Now() override { return TimePoint(std::chrono::microseconds(nowUs_.load())); }
    void SleepMs(int milliseconds) override {
        nowUs_ += milliseconds > 0 ? milliseconds * 1000LL : 0;
        std::this_thread::yield();
    }

  private:
    std::atomic<long long> nowUs_{1'000'000};
};

using tavlin::fuzz::QuietProgress;

const std::filesystem::path& CacheFolder() {
    static const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                                ("tavlin-scene-fuzz-" + std::to_string(::getpid()));
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tavlin::sim::SceneLoadResult loaded = tavlin::sim::ParseScene(text, "fuzz.json");
    if (!loaded.scene) {
        if (loaded.error.empty()) {
            std::abort();  // every refusal must say why
        }
        return 0;
    }
    const tavlin::sim::Scene& scene = *loaded.scene;
    // Each unit reads its own memory: no table cached from an earlier input.
    std::filesystem::remove_all(CacheFolder());
    std::filesystem::create_directories(CacheFolder());

    InstantClock clock;
    tavlin::test::RecordingPrompter prompter;
    tavlin::test::RecordingViewNotifier views;
    QuietProgress progress;
    tavlin::sim::VirtualInstrument unit(clock, scene);
    tavlin::AnalyzerDocument doc(tavlin::DocumentPorts{unit, clock, prompter, views, progress},
                                 CacheFolder());
    double centreHz = 915e6;
    if (!scene.signals.empty()) {
        centreHz = std::clamp(scene.signals.front().freqHz, 1e6, 4.4e9);
    }
    doc.SetCenterSpan(centreHz, 1e6);
    doc.ApplyLevelPlan();
    doc.PerformSweep();
    doc.ReadTrace([](const tavlin::ScreenState& screen) {
        for (const double row : screen.trace.traceA) {
            if (!std::isfinite(row)) {
                std::abort();
            }
        }
        return 0;
    });
    return 0;
}
