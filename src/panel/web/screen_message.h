#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "sweep/sweep_trace.h"
#include "view/plot_snapshot.h"

namespace tavlin {

class AnalyzerDocument;

// Which unit the page shows and how far its levels can be trusted.
struct UnitFacts {
    std::string serial;
    std::string firmware;
    std::string calDate;
    std::string calibrationDoubt;  // empty while the table can be trusted
};

// The newest line of the spectrogram, in dBm, with the levels its colours
// span: the reference level down ten divisions.
struct SpectrogramRow {
    std::uint64_t seq = 0;  // 0: on, but no sweep kept yet
    double refDbm = 0.0;
    double dbPerDiv = 10.0;
    std::array<float, kTracePoints> levelsDbm{};
};

UnitFacts ReadUnitFacts(const AnalyzerDocument& document);
// Nothing while the spectrogram is off.
std::optional<SpectrogramRow> ReadNewestSpectrogramRow(const AnalyzerDocument& document);

// One screen of the analyzer for the page, as JSON: the texts, places and
// rows the window's painter draws from the same snapshot, so the page shows
// what the window would.
std::string EncodeScreenMessage(const PlotSnapshot& snapshot, const UnitFacts& unit,
                                const std::optional<SpectrogramRow>& spectrogram);
// The page's screen while no unit is connected: the last unit known, if any.
std::string EncodeDisconnectedMessage(const std::optional<UnitFacts>& lastUnit);

}  // namespace tavlin
