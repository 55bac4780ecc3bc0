#include "view/marker_table.h"

#include "base/bounded_format.h"
#include "document/marker_commands.h"
#include "view/marker_readout.h"

namespace tavlin {

namespace {

std::string LevelNumber(double level, ReadingFlag flag, const char* unit, bool signedNumber) {
    if (!ReadingFlagKeepsNumber(flag)) {
        return FlaggedReadingText("", flag);
    }
    return FlaggedReadingText(FormatText(signedNumber ? "%+.2f %s" : "%.2f %s", level, unit), flag);
}

}  // namespace

std::vector<MarkerTableEntry> MarkerTable::Entries(AnalyzerDocument& document) {
    const MarkerCommands markers(document);
    const MarkerState m = markers.Snapshot();
    const int active = m.ActiveNumber();
    std::vector<MarkerTableEntry> entries;
    if (m.marker1On != 0) {
        entries.push_back(
            {1, active == 1, m.marker1Pos, m.marker1Level, markers.LevelReadingFlag(m, false)});
    }
    if (m.marker2On != 0) {
        entries.push_back(
            {2, active == 2, m.marker2Pos, m.marker2Level, markers.LevelReadingFlag(m, true)});
    }
    for (int n = ExtraMarkers::kFirst; n <= ExtraMarkers::kLast; ++n) {
        const ExtraMarker& e = m.extra.Of(n);
        if (e.on) {
            entries.push_back({n, active == n, e.position, e.level,
                               markers.LevelReadingFlag(e.position, e.flag)});
        }
    }
    return entries;
}

const char* MarkerTable::LevelUnit(bool difference) const {
    if (scale_.FmDeviation()) {
        return "Hz";
    }
    if (scale_.linearScale) {
        return "mV";
    }
    return difference ? "dB" : "dBm";
}

std::string MarkerTable::PositionText(const MarkerTableEntry& entry) const {
    if (scale_.ZeroSpan()) {
        return FormatText("%.3f ms", entry.position);
    }
    return FormatText("%.6f MHz", scale_.FreqOffset().Shown(entry.position) * 1e-6);
}

std::string MarkerTable::LevelText(const MarkerTableEntry& entry) const {
    if (!levels_.Plain() && !scale_.FmDeviation()) {
        return levels_.ReadingText(scale_, entry.position, entry.level, entry.flag);
    }
    return LevelNumber(entry.level, entry.flag, LevelUnit(false), false);
}

std::string MarkerTable::DeltaText(const MarkerTableEntry& entry,
                                   const MarkerTableEntry& reference) const {
    if (entry.number == reference.number) {
        return {};
    }
    const double d = entry.position - reference.position;
    const std::string position =
        scale_.ZeroSpan() ? FormatText("%+.3f ms", d) : FormatText("%+.6f MHz", d * 1e-6);
    const ReadingFlag flag = MarkerReadout::DifferenceFlag(reference.flag, entry.flag);
    const auto factor = [this](const MarkerTableEntry& e) {
        return levels_.FactorAt(LevelDisplay::ShownHz(scale_, e.position)).db;
    };
    const double transducer =
        scale_.linearScale || scale_.FmDeviation() ? 0.0 : factor(entry) - factor(reference);
    return position + ", " +
           LevelNumber(entry.level - reference.level + transducer, flag, LevelUnit(true), true);
}

}  // namespace tavlin
