// libFuzzer target: the automation command language against a live document.
// One document on the virtual unit lives for the whole run, on virtual time;
// each input is a list of command lines, interpreted as the automation
// server does while the sweep thread runs continuously, so that REC, SAV,
// USB:RES, *RST and the tuning commands land in the middle of passes. The
// files a client may name (plain names in the working folder) go to a
// scratch folder that is emptied before each input. After the commands the
// sweep is told to stop: it must end (a hang is reported by libFuzzer's
// -timeout) and leave settings the document can still sweep.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "document/analyzer_document.h"
#include "ports/progress_sink.h"
#include "remote/command_interpreter.h"
#include "remote/pending_reply.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"
#include "support/recording_prompter.h"
#include "support/recording_view_notifier.h"

namespace {

constexpr std::size_t kMostLines = 24;
constexpr std::size_t kLongestLine = 300;

class QuietProgress final : public tavlin::ProgressSink {
  public:
    void Show() override {}
    void SetPosition(int) override {}
    void Hide() override {}
};

struct Bench {
    Bench() {
        folder = std::filesystem::temp_directory_path() /
                 ("tavlin-command-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder / "files");
        unit = std::make_unique<tavlin::sim::VirtualInstrument>(clock);
        doc = std::make_unique<tavlin::AnalyzerDocument>(
            tavlin::DocumentPorts{*unit, clock, prompter, views, progress}, folder);
    }

    std::filesystem::path folder;
    tavlin::test::FakeClock clock;
    tavlin::test::RecordingPrompter prompter;
    tavlin::test::RecordingViewNotifier views;
    QuietProgress progress;
    std::unique_ptr<tavlin::sim::VirtualInstrument> unit;
    std::unique_ptr<tavlin::AnalyzerDocument> doc;
};

Bench& TheBench() {
    static Bench* bench = new Bench();  // lives as long as the process
    return *bench;
}

void EmptyFolder(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::filesystem::remove_all(entry.path());
    }
}

void StopSweep(tavlin::AnalyzerDocument& doc) {
    doc.StopAfterThisPass();
    while (doc.SweepRunning()) {
        doc.WaitForSweepProgress(doc.PassesCompleted(), std::chrono::milliseconds(50));
        doc.StopAfterThisPass();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bench& bench = TheBench();
    tavlin::AnalyzerDocument& doc = *bench.doc;
    // The client's files live in the scratch folder only while the input
    // runs: libFuzzer's own paths are relative to where it was started.
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(bench.folder / "files");
    EmptyFolder(bench.folder / "files");
    bench.prompter.Clear();

    tavlin::PendingReply reply;
    tavlin::CommandInterpreter interpreter(reply, tavlin::FileNames::PlainNamesHere);
    doc.OnContinuous();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t lines = 0; lines < kMostLines && !text.empty(); ++lines) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, std::min(end, kLongestLine));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        interpreter.Interpret(doc, std::string(line));
        if (reply.Ready()) {
            reply.Take();
        }
    }
    StopSweep(doc);
    std::filesystem::current_path(started);
    // Whatever the commands did, the document still holds frequencies a
    // sweep can use.
    const tavlin::FrequencyPair f = doc.Frequencies();
    if (!std::isfinite(f.startHz) || !std::isfinite(f.stopHz) || f.stopHz < f.startHz) {
        std::abort();
    }
    return 0;
}
