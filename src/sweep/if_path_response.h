#pragma once

namespace tavlin {

class CalTable;

// The power factor that undoes what the IF path did to a signal at ifHz: the
// IF filter's response from the calibration table of that path (51 points
// 5 kHz apart, from 10.575 MHz for the 10.7 MHz path and from 2.791 MHz for
// the 2.9 MHz path) and the sampler's decimation droop at the signal's
// offset from the IF centre the sampler is tuned to.
double IfPathPowerFactor(const CalTable& cal, bool secondIf, int decimation, double ifCentreHz,
                         double ifHz);

}  // namespace tavlin
