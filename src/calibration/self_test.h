#pragma once

#include <optional>
#include <string>

namespace tavlin {

class AnalyzerDocument;

// The five readings of the self test; nothing where a reading failed.
struct SelfTestReadings {
    std::optional<double> broadband;  // detector, dB
    std::optional<double> highBand;   // dB of full scale, 10 dB attenuation
    std::optional<double> lowBand;
    std::optional<double> lowBand15;  // the same at 15 dB
    std::optional<double> secondIf;   // 2.9 MHz path, 15 dB
};

struct SelfTestResult {
    bool ran = false;  // the user confirmed the cable
    bool passed = false;
    std::string text;  // "Self Test Results:" and a PASS or FAIL line per check
};

// The verdict on the readings: a check whose reading failed fails.
SelfTestResult JudgeSelfTest(const SelfTestReadings& readings);

// Utilities > Run Self Test: preset, the cable question, the readings of the
// SELF TEST signal through every route, the results box and a closing
// preset. The self-test signal stays on until the unit is told otherwise.
SelfTestResult RunSelfTest(AnalyzerDocument& document);

}  // namespace tavlin
