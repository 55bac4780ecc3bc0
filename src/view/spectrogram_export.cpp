#include "view/spectrogram_export.h"

#include "base/atomic_file.h"
#include "base/bounded_format.h"
#include "base/utc_time.h"
#include "document/analyzer_document.h"
#include "document/spectrogram_history.h"

namespace tavlin {

namespace {

constexpr const char* kLineEnd = "\r\n";

// Where each point lies, as the annotations give it: the frequency with the
// downconverter offset, or the time into the sweep in zero span.
double PositionOfColumn(const SpectrogramBand& band, int column) {
    if (band.zeroSpan) {
        return column * band.sweepTimeSec * 1000.0 / MarkerScale::kLastColumn;
    }
    return band.FreqOffset().Shown(band.startHz + (band.stopHz - band.startHz) * column /
                                                      MarkerScale::kLastColumn);
}

}  // namespace

std::string SpectrogramExport::Csv(const SpectrogramHistory& history) {
    const SpectrogramBand& band = history.Band();
    std::string csv = FormatText(
        "# Spectrogram: %zu sweeps, oldest first; the UTC time each sweep ended, the time in s "
        "after the oldest sweep ended, then the level in dBm at each point%s",
        history.Size(), kLineEnd);
    csv += band.zeroSpan ? "UTC time,Time (s) \\ Time in sweep (ms)"
                         : "UTC time,Time (s) \\ Frequency (Hz)";
    for (int column = 0; column < kTracePoints; ++column) {
        csv += FormatText(band.zeroSpan ? ",%.6f" : ",%.3f", PositionOfColumn(band, column));
    }
    csv += kLineEnd;
    if (history.Empty()) {
        return csv;
    }
    csv.reserve(csv.size() + history.Size() * kTracePoints * 8);
    const double oldestSec = history.Line(history.Size() - 1).endSec;
    history.ForEachSince(0, [&csv, oldestSec](const SpectrogramLine& line) {
        csv += UtcIsoText(line.utcSec) + FormatText(",%.3f", line.endSec - oldestSec);
        for (const float level : line.levelsDbm) {
            csv += FormatText(",%.2f", level);
        }
        csv += kLineEnd;
    });
    return csv;
}

std::string SpectrogramExport::Write(const AnalyzerDocument& document,
                                     const std::filesystem::path& path) {
    // A copy, formatted once the lock is released: the sweep publishing
    // meanwhile does not wait for the text.
    const SpectrogramHistory history =
        document.ReadSpectrogram([](const SpectrogramHistory& h) { return h; });
    const std::string csv = Csv(history);
    std::string error;
    if (!WriteTextAtomically(path, csv, error)) {
        return "The spectrogram was not exported. " + error;
    }
    return {};
}

}  // namespace tavlin
