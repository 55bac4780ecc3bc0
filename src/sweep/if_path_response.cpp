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

}  // namespace

double IfPathPowerFactor(const CalTable& cal, bool secondIf, int decimation, double ifCentreHz,
                         double ifHz) {
    const auto& response = secondIf ? cal.IfResponse2() : cal.IfResponse();
    const double start = secondIf ? kSecondIfResponseStartHz : kFirstIfResponseStartHz;
    const double position = std::trunc((ifHz - start) / kResponseStepHz);
    // Outside the table (or not a number) the nearest end entry holds.
    const double entry = std::isnan(position) ? 0.0 : std::clamp(position, 0.0, kLastResponseEntry);
    return response[static_cast<std::size_t>(entry)] *
           DroopPowerFactor(decimation, ifHz - ifCentreHz);
}

}  // namespace tavlin
