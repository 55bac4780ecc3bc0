#include "document/spectrogram_history.h"

#include <algorithm>
#include <cmath>

namespace tavlin {

namespace {

float LevelDbm(const MarkerScale& scale, double row) {
    const double level = scale.LevelOfRow(row);
    if (!scale.linearScale) {
        return static_cast<float>(level);
    }
    // Millivolts across 50 ohms back to dBm; nothing at all sits on the floor.
    if (!(level > 0.0)) {
        return SpectrogramHistory::kFloorDbm;
    }
    const double dbm = 20.0 * std::log10(level / DbmToMillivolts(0.0));
    return static_cast<float>(std::max(dbm, static_cast<double>(SpectrogramHistory::kFloorDbm)));
}

}  // namespace

// Edges that moved by less than a tenth of a pixel (signal track's fine
// steps) leave every signal on its column. Compared with the band of the
// first line, so that many small steps still add up to a new band.
bool SpectrogramHistory::SameBand(const SpectrogramBand& a, const SpectrogramBand& b) {
    const double toleranceHz = std::abs(a.stopHz - a.startHz) / 6400.0;
    return a.zeroSpan == b.zeroSpan && std::abs(a.startHz - b.startHz) <= toleranceHz &&
           std::abs(a.stopHz - b.stopHz) <= toleranceHz;
}

bool SpectrogramHistory::Append(double endSec, const MarkerScale& drawnWith,
                                const TraceRows& rows) {
    if (drawnWith.FmDeviation()) {
        return false;
    }
    const SpectrogramBand band{drawnWith.startHz, drawnWith.stopHz, drawnWith.ZeroSpan(),
                               drawnWith.sweepTimeSec, drawnWith.freqOffsetHz};
    if (size_ > 0 && !SameBand(band_, band)) {
        Clear();
    }
    if (size_ == 0) {
        band_ = band;
    }
    if (ring_.empty()) {
        ring_.resize(kCapacity);
    }
    newest_ = (newest_ + 1) % kCapacity;
    SpectrogramLine& line = ring_[newest_];
    line.seq = nextSeq_++;
    line.endSec = endSec;
    for (int column = 0; column < kTracePoints; ++column) {
        line.levelsDbm[column] = LevelDbm(drawnWith, rows[column]);
    }
    size_ = std::min(size_ + 1, kCapacity);
    return true;
}

void SpectrogramHistory::Clear() {
    size_ = 0;
    ++generation_;
}

const SpectrogramLine& SpectrogramHistory::Line(std::size_t age) const {
    return ring_[(newest_ + kCapacity - age) % kCapacity];
}

}  // namespace tavlin
