#pragma once

namespace tavlin {

class CalTable;

// The power factor that undoes what the IF path did to a signal at ifHz: the
// IF filter's response from the calibration table of that path (51 points
// 5 kHz apart, from 10.575 MHz for the 10.7 MHz path and from 2.791 MHz for
// the 2.9 MHz path) and the sampler's decimation droop at the signal's
// offset from the IF centre the sampler is tuned to. Every kind that reads
// the sampler corrects its powers with it.
double IfPathPowerFactor(const CalTable& cal, bool secondIf, int decimation, double ifCentreHz,
                         double ifHz);

// The same factor for the signal at the tuned frequency itself on the
// 10.7 MHz path (zero span): it sits the LO's residual error away from the
// IF centre.
double TunedIfPathPowerFactor(const CalTable& cal, int decimation, double ifCentreHz,
                              double loErrorHz);

}  // namespace tavlin
