#include "calibration/cal_encoders.h"

#include <cmath>

namespace tavlin {

namespace {

// dB of droop at |offset x 40 / 486111.1| = 0 .. 11.
constexpr double kDroopDb[12] = {-0.6, -0.6, -0.5, -0.3, 0.0,  0.1,
                                 0.15, 0.2,  0.0,  -0.3, -0.6, -0.9};

template <typename Field>
std::optional<Field> Fit(double value, long lowest, long highest) {
    const std::optional<long> fitted = FitField(value, lowest, highest);
    return fitted ? std::optional<Field>(static_cast<Field>(*fitted)) : std::nullopt;
}

}  // namespace

std::optional<long> FitField(double value, long lowest, long highest) {
    const double truncated = std::trunc(value);
    if (!(truncated >= static_cast<double>(lowest) && truncated <= static_cast<double>(highest))) {
        return std::nullopt;  // NaN fails both comparisons
    }
    return static_cast<long>(truncated);
}

std::optional<std::uint8_t> BroadbandPowerByte(double detectorDb) {
    return Fit<std::uint8_t>(128.0 - 10.0 * detectorDb, 0, 255);
}

std::optional<std::uint16_t> IfClipWord(double levelDb) {
    return Fit<std::uint16_t>(32768.0 - 1000.0 * levelDb, 0, 65535);
}

std::optional<std::uint8_t> SecondIfGainByte(double gainDb) {
    return Fit<std::uint8_t>(10.0 * gainDb, 0, 255);
}

std::optional<std::uint16_t> LowGainStepWord(double stepDb) {
    return Fit<std::uint16_t>((stepDb - 13.44) / 0.02, 0, 65535);
}

std::optional<std::uint16_t> HighGainStepWord(double stepDb) {
    return Fit<std::uint16_t>((stepDb - 9.44) / 0.02, 0, 65535);
}

std::optional<std::uint16_t> TcxoWord(double ppb) {
    const std::optional<long> error = FitField(ppb, -32767, 32767);
    return error ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*error + 32768))
                 : std::nullopt;
}

std::optional<std::uint8_t> FlatnessByte(double errorDb, double countsPerDb) {
    return Fit<std::uint8_t>(128.0 - countsPerDb * errorDb, 0, 254);
}

std::optional<std::uint8_t> IfFlatnessByte(double centrePower, double power) {
    if (!(power > 0.0) || !std::isfinite(centrePower)) {
        return std::nullopt;
    }
    return Fit<std::uint8_t>(100.0 * centrePower / power, 0, 255);
}

double DroopFactor(double offsetHz) {
    const double x = std::abs(offsetHz * 40.0 / 486111.1);
    if (!(x < 11.0)) {
        return 1.0;
    }
    const int j = static_cast<int>(x);
    const double db = (x - j) * kDroopDb[j + 1] + (j + 1 - x) * kDroopDb[j];
    return std::pow(10.0, -0.1 * db);
}

}  // namespace tavlin
