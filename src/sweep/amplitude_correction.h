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

// The correction of the instrument's own detector readings, flat over the band.
double WideDetectorCorrection();

}  // namespace tavlin
