#pragma once

// What the fuzz targets that drive a live document share: a document on the
// virtual unit, on virtual time, with a scratch folder for the files a
// client may name, and the way a run is stopped between inputs.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "document/analyzer_document.h"
#include "ports/progress_sink.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"
#include "support/recording_prompter.h"
#include "support/recording_view_notifier.h"

namespace tavlin::fuzz {

class QuietProgress final : public ProgressSink {
  public:
    void Show() override {}
    void SetPosition(int) override {}
    void Hide() override {}
};

struct DocumentBench {
    explicit DocumentBench(const std::string& name)
        : folder(std::filesystem::temp_directory_path() /
                 (name + "-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(folder / "files");
        unit = std::make_unique<sim::VirtualInstrument>(clock);
        doc = std::make_unique<AnalyzerDocument>(
            DocumentPorts{*unit, clock, prompter, views, progress}, folder);
    }

    std::filesystem::path folder;
    test::FakeClock clock;
    test::RecordingPrompter prompter;
    test::RecordingViewNotifier views;
    QuietProgress progress;
    std::unique_ptr<sim::VirtualInstrument> unit;
    std::unique_ptr<AnalyzerDocument> doc;
};

inline void EmptyFolder(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::filesystem::remove_all(entry.path());
    }
}

// The sweep is asked to finish its pass until it has; a hang is reported by
// libFuzzer's -timeout.
inline void StopSweep(AnalyzerDocument& doc) {
    doc.StopAfterThisPass();
    while (doc.SweepRunning()) {
        doc.WaitForSweepProgress(doc.PassesCompleted(), std::chrono::milliseconds(50));
        doc.StopAfterThisPass();
    }
}

}  // namespace tavlin::fuzz
