#pragma once

#include <cstdint>

#include "sweep/rbw_rules.h"

namespace tavlin::preset {

// What PRESET gives the settings. A fresh state record starts from the same
// values, so a default record encodes to the file a freshly preset program
// would save; both read them from here.
constexpr double kStartHz = 902e6;
constexpr double kStopHz = 928e6;
constexpr double kCfStepHz = 10e6;
constexpr double kRefLevelDbm = 0.0;
constexpr double kRefLevelOffsetDb = 0.0;
constexpr double kRefLevelStepDb = 10.0;
constexpr double kDbPerDiv = 10.0;
constexpr double kAttenDb = 10.0;
constexpr std::int32_t kGainMode = 0;
constexpr double kRbwHz = 100000.0;
constexpr double kSweepTimeSec = 2.2;
constexpr std::int32_t kVideoAvgCount = 1;
constexpr std::int32_t kSyncTrigMode = 0;
constexpr bool kImageReject = true;
constexpr double kSpanRbwRatio = kDefaultSpanRbwRatio;
// Not preset, but the value a new program and a new state record start with.
constexpr double kMaxFmOffsetHz = 100000.0;

}  // namespace tavlin::preset
