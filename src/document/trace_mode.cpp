#include "document/trace_mode.h"

#include <algorithm>

#include "base/bounded_format.h"

namespace tavlin {

TraceMode TraceModeOf(const InstrumentState& state) {
    if (state.maxHold != 0) {
        return TraceMode::kMaxHold;
    }
    if (state.minHold != 0) {
        return TraceMode::kMinHold;
    }
    return state.powerAvgCount > 1 ? TraceMode::kAverage : TraceMode::kWrite;
}

void SetTraceMode(InstrumentState& state, TraceMode mode, int averageCount) {
    state.maxHold = mode == TraceMode::kMaxHold ? 1 : 0;
    state.minHold = mode == TraceMode::kMinHold ? 1 : 0;
    state.powerAvgCount =
        mode == TraceMode::kAverage ? std::clamp(averageCount, 2, kMostPowerAverageCount) : 1;
    state.powerAvgIndex = 0;
}

std::string TraceModeText(const InstrumentState& state, Detector detectorInUse) {
    std::string text = DetectorLabel(detectorInUse);
    switch (TraceModeOf(state)) {
        case TraceMode::kMaxHold:
            return text + " MAXH";
        case TraceMode::kMinHold:
            return text + " MINH";
        case TraceMode::kAverage:
            return text + FormatText(" AVG %d/%d", state.powerAvgIndex, state.powerAvgCount);
        case TraceMode::kWrite:
            break;
    }
    return text;
}

}  // namespace tavlin
