#include "sweep/if_path_response.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "device/cal_table.h"
#include "sweep/spectrum_rows.h"

namespace tavlin {

namespace {

constexpr double kFirstIfResponseStartHz = 10575000.0;
constexpr double kSecondIfResponseStartHz = 2791000.0;
constexpr double kResponseStepHz = 5000.0;
constexpr double kLastResponseEntry = CalTable::kIfResponsePoints - 1;

// An entry that passes nothing (or is not a number) cannot be undone: it
// counts as flat rather than blanking whatever falls on it.
double UsableResponse(double response) {
    return response > 0.0 && std::isfinite(response) ? response : 1.0;
}

}  // namespace

// On the filter's skirts the response changes by up to half a dB from one
// point of the table to the next, so the factor is interpolated between the
// two points around the frequency rather than taken from the point below it.
double IfPathPowerFactor(const CalTable& cal, bool secondIf, int decimation, double ifCentreHz,
                         double ifHz) {
    const auto& response = secondIf ? cal.IfResponse2() : cal.IfResponse();
    const double start = secondIf ? kSecondIfResponseStartHz : kFirstIfResponseStartHz;
    const double position = (ifHz - start) / kResponseStepHz;
    // Outside the table (or not a number) the nearest end entry holds.
    const double x = std::isnan(position) ? 0.0 : std::clamp(position, 0.0, kLastResponseEntry);
    const auto below = static_cast<std::size_t>(x);
    const std::size_t above = std::min<std::size_t>(below + 1, CalTable::kIfResponsePoints - 1);
    const double d = x - static_cast<double>(below);
    const double factor =
        (1.0 - d) * UsableResponse(response[below]) + d * UsableResponse(response[above]);
    return factor * DroopPowerFactor(decimation, ifHz - ifCentreHz);
}

double TunedIfPathPowerFactor(const CalTable& cal, int decimation, double ifCentreHz,
                              double loErrorHz) {
    return IfPathPowerFactor(cal, false, decimation, ifCentreHz, ifCentreHz - loErrorHz);
}

}  // namespace tavlin
