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

std::string PeakTableExport::Csv(const MarkerScale& scale, const std::vector<PeakTableRow>& rows) {
    std::string csv = TraceExport::HeaderFields(scale) + ",Flag" + TraceExport::kLineEnd;
    for (const PeakTableRow& row : rows) {
        csv += TraceExport::PointFields(scale, row.position, row.level) + "," +
               FlagField(row.flag) + TraceExport::kLineEnd;
    }
    return csv;
}

std::string PeakTableExport::Write(const MarkerScale& scale, const std::vector<PeakTableRow>& rows,
                                   const std::filesystem::path& path) {
    std::string error;
    if (!WriteTextAtomically(path, Csv(scale, rows), error)) {
        return "The peak table was not exported. " + error;
    }
    return {};
}

}  // namespace tavlin
