#include "sweep/amplitude_correction.h"

#include <algorithm>
#include <cmath>

#include "device/cal_table.h"

namespace tavlin {

namespace {

constexpr double kBandSplitHz = 150e6;
constexpr double kHighBandStepHz = 10e6;
constexpr int kHighBandLast = 425;
constexpr double kLowBandFirstHz = 1e6;
constexpr double kLowBandStepHz = 1e6;
constexpr int kLowBandLast = 149;
constexpr int kLastAttenuatorRow = 3;

constexpr double kLevelCentre = 32768.0;
constexpr double kLevelStepDb = 0.001;
constexpr double kLevelBaseDb = -10.5;
constexpr double kTenthDb = 0.1;

constexpr double kLowGainStepPlainDb = 15.83;
constexpr double kHighGainStepPlainDb = 12.0;
constexpr double kGainStepCountDb = 0.02;
constexpr double kLowGainStepBaseDb = 16.0 - 2.56;
constexpr double kHighGainStepBaseDb = 12.0 - 2.56;

constexpr double kFlatnessCentre = 128.0;
constexpr double kHighBandCountsPerDb = 16.0;
constexpr double kLowBandCountsPerDb = 32.0;
constexpr double kHighBandSlopePlainDbPerHz = 2.5e-9;
constexpr double kHighBandSlopePreampDbPerHz = 4e-9;

constexpr double kRolloffStartHz = 300e3;
constexpr double kRolloffStepHz = 50e3;
constexpr double kRolloffCountsPerDb = 32.0;
constexpr double kRolloffEdgeDb = 0.8;
constexpr double kLowestRolloffHz = 1.0;

// Two neighbouring table entries and the weight of the second. Past the last
// entry both are the last one; below the first, both are the first, except
// that between the band's first point and one step below it the first two
// entries are extrapolated (d negative).
struct Neighbours {
    int i0;
    int i1;
    double d;
};

Neighbours Locate(double x, int last) {
    // Keeps the integer conversion defined for any frequency; outside this
    // range the result no longer depends on x.
    x = std::isnan(x) ? 0.0 : std::clamp(x, -2.0, last + 2.0);
    Neighbours n{static_cast<int>(std::trunc(x)), 0, 0.0};
    n.i1 = n.i0 + 1;
    n.d = x - n.i0;
    if (n.i1 > last) {
        n.i0 = n.i1 = last;
    }
    if (n.i0 < 0) {
        n.i0 = n.i1 = 0;
    }
    return n;
}

template <typename Lookup>
double Interpolate(const Neighbours& n, Lookup entry) {
    return (1.0 - n.d) * entry(n.i0) + n.d * entry(n.i1);
}

int AttenuatorRow(double attenDb) {
    const double row = std::floor(attenDb / 5.0 + 0.5);
    if (!(row >= 0.0)) {
        return 0;
    }
    return static_cast<int>(std::min(row, static_cast<double>(kLastAttenuatorRow)));
}

double BaseLevel(const CalTable& table, const LevelSettings& settings, bool highBand) {
    double base = (table.IfClip(highBand) - kLevelCentre) * kLevelStepDb + kLevelBaseDb;
    if (settings.preampAvailable) {
        base += table.IfGain2_9(highBand) * kTenthDb;
    }
    return base;
}

double GainTerm(const CalTable& table, const LevelSettings& settings) {
    if (settings.gainMode == 0) {
        return settings.preampAvailable
                   ? table.LowGainStep() * kGainStepCountDb + kLowGainStepBaseDb
                   : kLowGainStepPlainDb;
    }
    if (settings.gainMode == 2) {
        return -(settings.preampAvailable
                     ? table.HighGainStep() * kGainStepCountDb + kHighGainStepBaseDb
                     : kHighGainStepPlainDb);
    }
    return 0.0;
}

double HighBandCorrection(const CalTable& table, const LevelSettings& settings, double freqHz) {
    const int row = AttenuatorRow(settings.attenDb);
    const Neighbours n = Locate((freqHz - kBandSplitHz) / kHighBandStepHz, kHighBandLast);
    const double t = Interpolate(n, [&](int i) { return table.HighBandFlatness(row, i); });
    const double slope =
        settings.preampAvailable ? kHighBandSlopePreampDbPerHz : kHighBandSlopePlainDbPerHz;
    double correction = (t - kFlatnessCentre) / kHighBandCountsPerDb + freqHz * slope;
    if (settings.preampOn) {
        correction -= kTenthDb * Interpolate(n, [&](int i) { return table.PreampHighBand(i); });
    }
    return correction;
}

// The preamplifier's gain falls off below 1 MHz: between 300 kHz and 1 MHz
// the table's roll-off points apply, below 300 kHz a 1/f law continues them.
double PreampLowBandGain(const CalTable& table, const Neighbours& n, double freqHz) {
    const double first = table.PreampLowBand(0) * kTenthDb;
    if (freqHz > kRolloffStartHz && freqHz < kLowBandFirstHz) {
        const double x = (freqHz - kRolloffStartHz) / kRolloffStepHz;
        const int i = static_cast<int>(x);
        const double e = x - i;
        return first - ((1.0 - e) * table.PreampRolloff(i) + e * table.PreampRolloff(i + 1)) /
                           kRolloffCountsPerDb;
    }
    if (freqHz <= kRolloffStartHz) {
        const double f = std::max(freqHz, kLowestRolloffHz);
        return first -
               (table.PreampRolloff(0) / kRolloffCountsPerDb + kRolloffEdgeDb) * kRolloffStartHz /
                   f +
               kRolloffEdgeDb;
    }
    return kTenthDb * Interpolate(n, [&](int i) { return table.PreampLowBand(i); });
}

double LowBandCorrection(const CalTable& table, const LevelSettings& settings, double freqHz) {
    const int row = AttenuatorRow(settings.attenDb);
    const Neighbours n = Locate((freqHz - kLowBandFirstHz) / kLowBandStepHz, kLowBandLast);
    const double t = Interpolate(n, [&](int i) { return table.LowBandFlatness(row, i); });
    double correction = (t - kFlatnessCentre) / kLowBandCountsPerDb;
    if (settings.preampOn) {
        correction -= PreampLowBandGain(table, n, freqHz);
    }
    return correction;
}

}  // namespace

double AmplitudeCorrection(const CalTable& table, const LevelSettings& settings, double freqHz) {
    return AmplitudeCorrectionOnRoute(table, settings, freqHz, freqHz >= kBandSplitHz);
}

double AmplitudeCorrectionOnRoute(const CalTable& table, const LevelSettings& settings,
                                  double freqHz, bool highBand) {
    const double frequencyTerm = highBand ? HighBandCorrection(table, settings, freqHz)
                                          : LowBandCorrection(table, settings, freqHz);
    return BaseLevel(table, settings, highBand) + GainTerm(table, settings) + frequencyTerm;
}

double WideDetectorCorrection() {
    return -1.0;
}

}  // namespace tavlin
