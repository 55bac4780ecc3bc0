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

double IfPathPowerFactor(const CalTable& cal, bool secondIf, int decimation, double ifCentreHz,
                         double ifHz) {
    const auto& response = secondIf ? cal.IfResponse2() : cal.IfResponse();
    const double start = secondIf ? kSecondIfResponseStartHz : kFirstIfResponseStartHz;
    const double position = std::trunc((ifHz - start) / kResponseStepHz);
    // Outside the table (or not a number) the nearest end entry holds.
    const double entry = std::isnan(position) ? 0.0 : std::clamp(position, 0.0, kLastResponseEntry);
    return UsableResponse(response[static_cast<std::size_t>(entry)]) *
           DroopPowerFactor(decimation, ifHz - ifCentreHz);
}

double TunedIfPathPowerFactor(const CalTable& cal, int decimation, double ifCentreHz,
                              double loErrorHz) {
    return IfPathPowerFactor(cal, false, decimation, ifCentreHz, ifCentreHz - loErrorHz);
}

}  // namespace tavlin
