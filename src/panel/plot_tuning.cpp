#include "panel/plot_tuning.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "document/analyzer_document.h"
#include "document/marker_scale.h"
#include "panel/span_steps.h"
#include "view/plot_geometry.h"

namespace tavlin {

namespace {

constexpr double kColumns = MarkerScale::kLastColumn;

}  // namespace

double PlotTuning::FrequencyOfColumn(int column) const {
    const FrequencyPair now = doc_.Frequencies();
    return now.startHz + now.SpanHz() * column / kColumns;
}

void PlotTuning::Tune(double centreHz, double spanHz) {
    const double span = std::clamp(spanHz, kSmallestSpanStepHz, kMaxFreqHz);
    const double centre = std::clamp(centreHz, span / 2.0, kMaxFreqHz - span / 2.0);
    doc_.SetCenterSpan(centre, span);
}

void PlotTuning::Wheel(int notches, WheelTuning how, int column) {
    const FrequencyPair now = doc_.Frequencies();
    if (now.ZeroSpan()) {
        if (how != WheelTuning::kZoom) {
            const double step =
                doc_.ReadSettings([](const InstrumentState& s) { return s.cfStepHz; });
            // The span stays zero: only the centre is held to the band.
            doc_.SetCenterSpan(std::clamp(now.CenterHz() + notches * step, 0.0, kMaxFreqHz),
                               now.SpanHz());
        }
        return;
    }
    if (how == WheelTuning::kZoom) {
        // The frequency under the pointer stays under it.
        const double pointer = FrequencyOfColumn(column);
        const double span = now.SpanHz() / std::pow(kZoomFactor, notches);
        const double clampedSpan = std::clamp(span, kSmallestSpanStepHz, kMaxFreqHz);
        Tune(pointer + clampedSpan * (0.5 - column / kColumns), clampedSpan);
        return;
    }
    const double share = how == WheelTuning::kFine ? kFineShare : kCoarseShare;
    Tune(now.CenterHz() + notches * share * now.SpanHz(), now.SpanHz());
}

void PlotTuning::CentreAtColumn(int column) {
    const FrequencyPair now = doc_.Frequencies();
    if (!now.ZeroSpan()) {
        Tune(FrequencyOfColumn(column), now.SpanHz());
    }
}

void PlotTuning::Pan(int columns) {
    const FrequencyPair now = doc_.Frequencies();
    if (!now.ZeroSpan() && columns != 0) {
        Tune(now.CenterHz() - now.SpanHz() * columns / kColumns, now.SpanHz());
    }
}

void PlotTuning::ZoomToColumns(int from, int to) {
    const FrequencyPair now = doc_.Frequencies();
    if (now.ZeroSpan() || std::abs(to - from) < plot::kLeastBoxColumns) {
        return;
    }
    const double low = FrequencyOfColumn(std::min(from, to));
    const double high = FrequencyOfColumn(std::max(from, to));
    Tune((low + high) / 2.0, high - low);
}

void PlotTuning::ZoomOut() {
    const FrequencyPair now = doc_.Frequencies();
    if (!now.ZeroSpan()) {
        Tune(now.CenterHz(), now.SpanHz() * kZoomFactor);
    }
}

}  // namespace tavlin
