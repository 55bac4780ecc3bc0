#include "document/peak_table.h"

#include <algorithm>

#include "document/level_rows.h"
#include "document/trace_peaks.h"

namespace tavlin {

namespace {

constexpr double kRowsPerDivision = 50.0;
constexpr double kLinearExcursionRows = 30.0;

double ExcursionRows(const MarkerScale& drawn, double excursionDb) {
    const bool decibels = !drawn.linearScale && !drawn.FmDeviation();
    return decibels ? std::max(excursionDb, 0.0) * kRowsPerDivision / drawn.dbPerDiv
                    : kLinearExcursionRows;
}

}  // namespace

std::vector<PeakTableRow> FindPeakTable(const TraceRows& rows, const MarkerScale& drawn,
                                        bool ifCompressed, const PeakTableSettings& settings) {
    std::vector<int> peaks = Peaks(rows, ExcursionRows(drawn, settings.excursionDb));
    std::ranges::stable_sort(peaks, [&rows](int a, int b) { return rows[a] < rows[b]; });
    std::vector<PeakTableRow> table;
    const ReadingFlag compressed = ifCompressed ? ReadingFlag::kOverRange : ReadingFlag::kNone;
    for (const int column : peaks) {
        if (static_cast<int>(table.size()) >= settings.count) {
            break;
        }
        const double level = drawn.LevelOfRow(rows[column]);
        if (level < settings.threshold) {
            break;  // the rest are lower still
        }
        table.push_back({drawn.PositionOfColumn(column), level,
                         WorseReadingFlag(FlagOfRow(rows[column]), compressed)});
    }
    return table;
}

}  // namespace tavlin
