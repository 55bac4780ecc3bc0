#include "document/spectrogram_history.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "document/level_rows.h"

namespace tavlin {

// Edges that moved by less than a tenth of a pixel (signal track's fine
// steps) leave every signal on its column. Compared with the band of the
// first line, so that many small steps still add up to a new band. Another
// downconverter offset puts other frequencies at the antenna on the same
// columns, and in zero span another sweep time other times: lines of either
// read with the first line's axis would be given wrong positions.
bool SpectrogramHistory::SameBand(const SpectrogramBand& a, const SpectrogramBand& b) {
    const double toleranceHz = std::abs(a.stopHz - a.startHz) / 6400.0;
    const bool sameAxis =
        a.freqOffsetHz == b.freqOffsetHz && (!a.zeroSpan || a.sweepTimeSec == b.sweepTimeSec);
    return sameAxis && a.zeroSpan == b.zeroSpan && std::abs(a.startHz - b.startHz) <= toleranceHz &&
           std::abs(a.stopHz - b.stopHz) <= toleranceHz;
}

bool SpectrogramHistory::Append(const SweepEnd& end, const MarkerScale& drawnWith,
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
        ring_.resize(capacity_);
    }
    newest_ = (newest_ + 1) % capacity_;
    SpectrogramLine& line = ring_[newest_];
    line.seq = nextSeq_++;
    line.endSec = end.clockSec;
    line.utcSec = end.utcSec;
    for (int column = 0; column < kTracePoints; ++column) {
        line.levelsDbm[column] = LevelDbmOfRow(drawnWith, rows[column]);
    }
    size_ = std::min(size_ + 1, capacity_);
    return true;
}

void SpectrogramHistory::Clear() {
    size_ = 0;
    ++generation_;
}

const SpectrogramLine& SpectrogramHistory::Line(std::size_t age) const {
    return ring_[(newest_ + capacity_ - age) % capacity_];
}

// The kept lines move into a ring of the new length, the newest at its
// start; sequence numbers and the generation stay, so a view drawing them
// needs no fresh start.
void SpectrogramHistory::SetCapacity(std::size_t lines) {
    lines = std::clamp(lines, kMinCapacity, kMaxCapacity);
    if (lines == capacity_) {
        return;
    }
    const std::size_t kept = std::min(size_, lines);
    std::vector<SpectrogramLine> ring;
    if (!ring_.empty()) {
        ring.resize(lines);
        for (std::size_t age = 0; age < kept; ++age) {
            ring[(lines - age) % lines] = Line(age);
        }
    }
    ring_ = std::move(ring);
    capacity_ = lines;
    newest_ = 0;
    size_ = kept;
}

}  // namespace tavlin
