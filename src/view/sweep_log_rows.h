#pragma once

#include <string>

#include "document/sweep_record.h"
#include "view/sweep_log_settings.h"

namespace tavlin {

// The text of a sweep log, a row per sweep, each row ending on "\n". Numbers
// are written without the user's locale.
//
// Heat-map layout: "date, time, Hz low, Hz high, Hz step, samples, dB, ..."
// in UTC. Hz low is the first point, Hz step the spacing of the points and
// Hz high one step past the last point, so that (high - low) / step is the
// number of levels, as the layout's readers count them. Samples is the
// number of sweeps averaged into each level. A point the analyzer flags (off
// the graticule, or a sweep that overdrove the IF) is written "nan": the
// layout has no way to say "at most". Zero-span sweeps have no frequencies
// and get no row.
//
// Table layout: '#' lines with the settings whenever they differ from the
// previous row's, then "UTC time,flag,level,...": the time ISO 8601 with
// milliseconds, the flag empty or "OVER RANGE", each level in dBm with "<"
// before it when the point lay below the screen (the level is at most this)
// and ">" when above (at least this).
class SweepLogRows {
  public:
    static bool Writable(SweepLogFormat format, const SweepRecord& record);
    static std::string HeatmapRow(const SweepRecord& record);
    static std::string TableHeader(const SweepRecord& record);
    static std::string TableRow(const SweepRecord& record);
    // Whether a table row of `next` can follow `previous` without a new header.
    static bool SameSettings(const SweepRecord& previous, const SweepRecord& next);
};

}  // namespace tavlin
