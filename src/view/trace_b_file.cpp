#include "view/trace_b_file.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/atomic_file.h"
#include "document/analyzer_document.h"
#include "view/trace_export.h"

namespace tavlin {

namespace {

constexpr std::string_view kHeader = "Frequency (Hz),Level (dBm)";
constexpr std::size_t kMaxFileBytes = 1 << 20;
// Exported frequencies carry three decimals: a step may differ from the
// mean step by rounding, never by more than this share of it.
constexpr double kStepTolerance = 1e-3;

std::string_view NextLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// A number filling the whole field, finite.
bool ParseNumber(std::string_view field, double& value) {
    const std::string s(field);
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    return !s.empty() && end == s.c_str() + s.size() && std::isfinite(value);
}

bool ParsePoint(std::string_view line, double& freqHz, double& levelDbm) {
    const std::size_t comma = line.find(',');
    return comma != std::string_view::npos && ParseNumber(line.substr(0, comma), freqHz) &&
           ParseNumber(line.substr(comma + 1), levelDbm);
}

bool EvenlyRising(const std::vector<double>& freqs) {
    const double step = (freqs.back() - freqs.front()) / (freqs.size() - 1);
    if (!(step > 0.0)) {
        return false;
    }
    for (std::size_t i = 1; i < freqs.size(); ++i) {
        if (std::abs(freqs[i] - freqs[i - 1] - step) > kStepTolerance * step + 1e-3) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string TraceBFile::Parse(std::string_view text, const MarkerScale& present, ScreenRows& rows,
                              TraceBasis& basis) {
    if (NextLine(text) != kHeader) {
        return "The file is not a trace of levels in dBm against frequency.";
    }
    std::vector<double> freqs;
    std::vector<double> levels;
    while (!text.empty()) {
        const std::string_view line = NextLine(text);
        if (line.empty()) {
            continue;
        }
        double f = 0.0;
        double level = 0.0;
        if (freqs.size() == kTracePoints || !ParsePoint(line, f, level)) {
            return "Line " + std::to_string(freqs.size() + 2) +
                   " is not a frequency and a level, or there are more than 641 points.";
        }
        freqs.push_back(f);
        levels.push_back(level);
    }
    if (freqs.size() != kTracePoints) {
        return "The file holds " + std::to_string(freqs.size()) + " points, not 641.";
    }
    if (!EvenlyRising(freqs)) {
        return "The frequencies do not rise in even steps.";
    }
    MarkerScale scale = present;
    scale.startHz = scale.FreqOffset().Stored(freqs.front());
    scale.stopHz = scale.FreqOffset().Stored(freqs.back());
    scale.linearScale = false;
    scale.zeroSpanFm = false;
    for (int i = 0; i < kTracePoints; ++i) {
        rows[i] = LevelToRow(scale, levels[i]);
    }
    basis = TraceBasis::MeasuredOn(scale);
    return {};
}

std::string TraceBFile::Save(const AnalyzerDocument& document, const std::filesystem::path& path) {
    const auto [rows, basis] = document.ReadTrace([](const ScreenState& screen) {
        return std::pair(screen.display.traceBRows, screen.display.traceBBasis);
    });
    MarkerScale scale = basis.scale;
    if (!basis.measured || scale.ZeroSpan() || scale.linearScale) {
        return "Trace B holds no swept levels in dBm to save.";
    }
    decltype(SweepTrace::traceA) levels{};
    for (int i = 0; i < kTracePoints; ++i) {
        levels[i] = rows[i] == kNoRow ? static_cast<double>(kFarRow) : rows[i];
    }
    std::string error;
    if (!WriteTextAtomically(path, TraceExport::Csv(scale, levels), error)) {
        return "Trace B was not saved. " + error;
    }
    return {};
}

std::string TraceBFile::Load(AnalyzerDocument& document, const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(path, kMaxFileBytes, bytes, error)) {
        return "Trace B was not loaded. " + error;
    }
    const MarkerScale present =
        document.ReadSettings([](const InstrumentState& s) { return MarkerScale::From(s); });
    ScreenRows rows{};
    TraceBasis basis;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    error = Parse(text, present, rows, basis);
    if (!error.empty()) {
        return "Trace B was not loaded. " + error;
    }
    document.EditTrace([&rows, &basis](ScreenState& screen) {
        screen.display.traceBRows = rows;
        screen.display.traceBBasis = basis;
        screen.display.traceBShown = true;
    });
    return {};
}

}  // namespace tavlin
