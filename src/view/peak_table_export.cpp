#include "view/peak_table_export.h"

#include "base/atomic_file.h"
#include "view/trace_export.h"

namespace tavlin {

namespace {

// A spreadsheet cell of ">" reads as a formula's start to some programs: the
// screen edges are written out.
std::string FlagField(ReadingFlag flag) {
    if (flag == ReadingFlag::kAboveScreen) {
        return "ABOVE SCREEN";
    }
    if (flag == ReadingFlag::kBelowScreen) {
        return "BELOW SCREEN";
    }
    return std::string(ReadingFlagWord(flag));
}

}  // namespace

std::string PeakTableExport::Csv(const MarkerScale& scale, const std::vector<PeakTableRow>& rows,
                                 const LevelDisplay& levels) {
    const bool plain = levels.Plain() || scale.FmDeviation();
    std::string header = TraceExport::HeaderFields(scale);
    if (!plain) {
        header = header.substr(0, header.find(',')) + ",Level (" +
                 std::string(LevelUnitKey(levels.ShownUnit(scale))) + ")";
    }
    std::string csv = header + ",Flag" + TraceExport::kLineEnd;
    for (const PeakTableRow& row : rows) {
        const double level = plain ? row.level : levels.ShownLevel(scale, row.position, row.level);
        const ReadingFlag flag = plain ? row.flag : levels.ShownFlag(scale, row.position, row.flag);
        csv += TraceExport::PointFields(scale, row.position, level) + "," + FlagField(flag) +
               TraceExport::kLineEnd;
    }
    return csv;
}

std::string PeakTableExport::Write(const MarkerScale& scale, const std::vector<PeakTableRow>& rows,
                                   const std::filesystem::path& path, const LevelDisplay& levels) {
    std::string error;
    if (!WriteTextAtomically(path, Csv(scale, rows, levels), error)) {
        return "The peak table was not exported. " + error;
    }
    return {};
}

}  // namespace tavlin
