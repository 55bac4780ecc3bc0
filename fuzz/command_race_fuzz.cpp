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

#include "document_bench.h"
#include "remote/command_interpreter.h"
#include "remote/pending_reply.h"

namespace {

constexpr std::size_t kMostLines = 24;
constexpr std::size_t kLongestLine = 300;

using Bench = tavlin::fuzz::DocumentBench;
using tavlin::fuzz::EmptyFolder;
using tavlin::fuzz::StopSweep;

Bench& TheBench() {
    static Bench* bench = new Bench("tavlin-command-fuzz");  // lives as long as the process
    return *bench;
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
