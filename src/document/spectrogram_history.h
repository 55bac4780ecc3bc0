#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "document/level_rows.h"
#include "document/marker_scale.h"
#include "document/trace_measurements.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

// When a sweep ended: on the document's clock (for ages and waits) and on
// the calendar, in seconds since 1970-01-01 UTC (for time stamps).
struct SweepEnd {
    double clockSec = 0.0;
    double utcSec = 0.0;
};

// One completed sweep of the waterfall: when it ended and trace A's levels.
struct SpectrogramLine {
    std::uint64_t seq = 0;  // 1 for the first line ever kept; never reused
    double endSec = 0.0;    // the document's clock when the sweep was published
    double utcSec = 0.0;    // the same moment in UTC
    std::array<float, kTracePoints> levelsDbm{};
};

// The band the lines were swept over, and the axis of their columns: the
// frequencies with the downconverter offset, or in zero span the times in
// the sweep.
struct SpectrogramBand {
    double startHz = 0.0;
    double stopHz = 0.0;
    bool zeroSpan = false;
    double sweepTimeSec = 0.0;
    double freqOffsetHz = 0.0;
    DownconverterOffset FreqOffset() const { return {freqOffsetHz}; }
};

// The last sweeps of trace A, newest last, in dBm rather than screen rows, so
// that a new reference level or dB/div only recolours them. Lines of another
// band stand for other frequencies: the first line of a new band starts the
// history afresh.
//
// How many lines are kept is the user's, within bounds that keep the memory
// bounded: a line is 641 levels of 4 bytes, about 2.6 kB, so the longest
// history takes about 26 MB (and the waterfall's picture as much again).
class SpectrogramHistory {
  public:
    static constexpr std::size_t kDefaultCapacity = 512;
    static constexpr std::size_t kMinCapacity = 50;
    static constexpr std::size_t kMaxCapacity = 10000;
    // Where a level of no power (0 mV on the linear scale) is put.
    static constexpr float kFloorDbm = kNoPowerDbm;

    // Trace A's rows turned into dBm through the scale they were drawn with.
    // False, and nothing kept, when the rows are not levels (the FM
    // detector's deviation).
    bool Append(const SweepEnd& end, const MarkerScale& drawnWith, const TraceRows& rows);
    void Clear();
    // Keeps the newest lines the new length can hold; a length out of bounds
    // is taken to the nearer bound.
    void SetCapacity(std::size_t lines);
    std::size_t Capacity() const { return capacity_; }

    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // Counts the fresh starts: a view that drew lines of an earlier count
    // must begin again.
    std::uint64_t Generation() const { return generation_; }
    std::uint64_t NewestSeq() const { return nextSeq_ - 1; }
    const SpectrogramBand& Band() const { return band_; }
    // age 0 is the newest line, Size() - 1 the oldest.
    const SpectrogramLine& Line(std::size_t age) const;

    // Calls each(line) for the lines after `seq`, oldest first.
    template <typename Each>
    void ForEachSince(std::uint64_t seq, Each&& each) const {
        for (std::size_t age = size_; age-- > 0;) {
            const SpectrogramLine& line = Line(age);
            if (line.seq > seq) {
                each(line);
            }
        }
    }

  private:
    static bool SameBand(const SpectrogramBand& a, const SpectrogramBand& b);

    std::size_t capacity_ = kDefaultCapacity;
    std::vector<SpectrogramLine> ring_;  // allocated with the first line
    std::size_t newest_ = 0;             // index of the newest line in the ring
    std::size_t size_ = 0;
    std::uint64_t nextSeq_ = 1;
    std::uint64_t generation_ = 0;
    SpectrogramBand band_;
};

}  // namespace tavlin
