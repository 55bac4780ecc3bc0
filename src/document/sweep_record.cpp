#include "document/sweep_record.h"

#include "document/instrument_state.h"
#include "document/level_rows.h"

namespace tavlin {

bool MakeSweepRecord(const TraceBasis& basis, const TraceRows& rows,
                     const InstrumentState& settings, double utcSec, SweepRecord& record) {
    const MarkerScale& scale = basis.scale;
    if (scale.FmDeviation()) {
        return false;
    }
    record.utcSec = utcSec;
    record.startHz = scale.FreqOffset().Shown(scale.startHz);
    record.stopHz = scale.FreqOffset().Shown(scale.stopHz);
    record.zeroSpan = scale.ZeroSpan();
    record.sweepTimeSec = scale.sweepTimeSec;
    record.rbwHz = settings.rbwHz;
    record.refLevelDbm = scale.ReferenceDbm();
    record.attenDb = settings.attenDb;
    record.traceMode = settings.maxHold != 0   ? "MAX HOLD"
                       : settings.minHold != 0 ? "MIN HOLD"
                       : settings.powerAvgCount > 1
                           ? "AVERAGE " + std::to_string(settings.powerAvgCount)
                           : "NORMAL";
    record.videoAverage = settings.videoAvgCount;
    record.serial = settings.deviceSerial;
    const ReadingFlag sweepFlag = basis.ifCompressed ? ReadingFlag::kOverRange : ReadingFlag::kNone;
    for (int column = 0; column < kTracePoints; ++column) {
        record.levelsDbm[column] = LevelDbmOfRow(scale, rows[column]);
        record.flags[column] = WorseReadingFlag(FlagOfRow(rows[column]), sweepFlag);
    }
    return true;
}

}  // namespace tavlin
