#include "view/sweep_log_rows.h"

#include "base/bounded_format.h"
#include "base/utc_time.h"
#include "document/marker_scale.h"

namespace tavlin {

namespace {

constexpr int kSteps = MarkerScale::kLastColumn;

std::string HeatmapLevel(float level, ReadingFlag flag) {
    return flag == ReadingFlag::kNone ? FormatText(", %.2f", level) : ", nan";
}

std::string TableLevel(float level, ReadingFlag flag) {
    if (flag == ReadingFlag::kBelowScreen) {
        return FormatText(",<%.2f", level);
    }
    if (flag == ReadingFlag::kAboveScreen) {
        return FormatText(",>%.2f", level);
    }
    return FormatText(",%.2f", level);
}

const char* SweepFlag(const SweepRecord& record) {
    for (const ReadingFlag flag : record.flags) {
        if (flag == ReadingFlag::kOverRange) {
            return "OVER RANGE";
        }
    }
    return "";
}

}  // namespace

bool SweepLogRows::Writable(SweepLogFormat format, const SweepRecord& record) {
    return format == SweepLogFormat::kTable || !record.zeroSpan;
}

std::string SweepLogRows::HeatmapRow(const SweepRecord& record) {
    const double stepHz = (record.stopHz - record.startHz) / kSteps;
    std::string row =
        UtcDateText(record.utcSec) + ", " + UtcClockText(record.utcSec) +
        FormatText(", %.0f, %.0f, %.2f, %d", record.startHz, record.startHz + stepHz * kTracePoints,
                   stepHz, record.videoAverage);
    row.reserve(row.size() + kTracePoints * 9);
    for (int point = 0; point < kTracePoints; ++point) {
        row += HeatmapLevel(record.levelsDbm[point], record.flags[point]);
    }
    return row + "\n";
}

std::string SweepLogRows::TableHeader(const SweepRecord& record) {
    std::string header = "# Tavlin sweep log\n";
    if (record.zeroSpan) {
        header += FormatText("# zero span at %.3f Hz; the points are times from 0 to %.6f s\n",
                             record.startHz, record.sweepTimeSec);
    } else {
        header += FormatText("# start %.3f Hz, stop %.3f Hz, %d points evenly spaced\n",
                             record.startHz, record.stopHz, kTracePoints);
    }
    header += FormatText("# RBW %.0f Hz, reference %.2f dBm, attenuation %.0f dB\n", record.rbwHz,
                         record.refLevelDbm, record.attenDb);
    header +=
        FormatText("# detector %s, trace %s, video average %d\n", DetectorLabel(record.detector),
                   record.traceMode.c_str(), record.videoAverage);
    header += "# unit serial: " + (record.serial.empty() ? "unknown" : record.serial) + "\n";
    header += "# UTC time,flag,levels in dBm ('<' at most, '>' at least: off the screen)\n";
    return header;
}

std::string SweepLogRows::TableRow(const SweepRecord& record) {
    std::string row = UtcIsoText(record.utcSec) + "," + SweepFlag(record);
    row.reserve(row.size() + kTracePoints * 9);
    for (int point = 0; point < kTracePoints; ++point) {
        row += TableLevel(record.levelsDbm[point], record.flags[point]);
    }
    return row + "\n";
}

bool SweepLogRows::SameSettings(const SweepRecord& previous, const SweepRecord& next) {
    return previous.startHz == next.startHz && previous.stopHz == next.stopHz &&
           previous.zeroSpan == next.zeroSpan &&
           (!next.zeroSpan || previous.sweepTimeSec == next.sweepTimeSec) &&
           previous.rbwHz == next.rbwHz && previous.refLevelDbm == next.refLevelDbm &&
           previous.attenDb == next.attenDb && previous.traceMode == next.traceMode &&
           previous.detector == next.detector && previous.videoAverage == next.videoAverage &&
           previous.serial == next.serial;
}

}  // namespace tavlin
