#pragma once

namespace tavlin {

class CalTable;

// The instrument settings that decide the level correction of a sweep.
struct LevelSettings {
    double attenDb;
    int gainMode;  // 0 low gain, 1 normal, 2 high gain
    bool preampAvailable;
    bool preampOn;
};

// The correction c in dB at freqHz such that a power P relative to full scale
// reads 10 log10(P) + c + attenDb dBm.
double AmplitudeCorrection(const CalTable& table, const LevelSettings& settings, double freqHz);

// The same through a given band route, whichever band freqHz lies in: the
// route's own formula at freqHz. Beyond its table the formula holds the
// table's end entry and its slope term goes on with the frequency, as it does
// above 4.4 GHz; between the band's first point and one step outside it the
// first two entries are extrapolated.
double AmplitudeCorrectionOnRoute(const CalTable& table, const LevelSettings& settings,
                                  double freqHz, bool highBand);

// The correction of the instrument's own detector readings, flat over the band.
double WideDetectorCorrection();

}  // namespace tavlin
