#include "view/trace_export.h"

#include "base/atomic_file.h"
#include "base/bounded_format.h"
#include "document/analyzer_document.h"

namespace tavlin {

std::string TraceExport::HeaderFields(const MarkerScale& scale) {
    std::string header = scale.ZeroSpan() ? "Time (ms)," : "Frequency (Hz),";
    if (scale.FmDeviation()) {
        header += "Deviation (Hz)";
    } else if (scale.linearScale) {
        header += "Level (mV)";
    } else {
        header += "Level (dBm)";
    }
    return header;
}

std::string TraceExport::PointFields(const MarkerScale& scale, double position, double level) {
    if (scale.ZeroSpan()) {
        return FormatText("%.6f,%.6g", position, level);
    }
    return FormatText("%.3f,%.6g", scale.FreqOffset().Shown(position), level);
}

std::string TraceExport::Csv(const MarkerScale& scale, const decltype(SweepTrace::traceA)& rows) {
    std::string csv = HeaderFields(scale) + kLineEnd;
    csv.reserve(csv.size() + rows.size() * 32);
    for (int column = 0; column < kTracePoints; ++column) {
        csv += PointFields(scale, scale.PositionOfColumn(column), scale.LevelOfRow(rows[column]));
        csv += kLineEnd;
    }
    return csv;
}

std::string TraceExport::Write(const AnalyzerDocument& document,
                               const std::filesystem::path& path) {
    const MarkerScale scale =
        document.ReadSettings([](const InstrumentState& s) { return MarkerScale::From(s); });
    const auto rows =
        document.ReadTrace([](const ScreenState& screen) { return screen.trace.traceA; });
    const std::string csv = Csv(scale, rows);
    std::string error;
    if (!WriteTextAtomically(path, csv, error)) {
        return "The trace was not exported. " + error;
    }
    return {};
}

}  // namespace tavlin
