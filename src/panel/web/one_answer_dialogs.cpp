#include "panel/web/one_answer_dialogs.h"

#include <utility>

namespace tavlin {

OneAnswerDialogs OneAnswerDialogs::Frequency(double hz) {
    return {Kind::kFrequency, hz};
}

OneAnswerDialogs OneAnswerDialogs::Amplitude(double dbm) {
    return {Kind::kAmplitude, dbm};
}

OneAnswerDialogs OneAnswerDialogs::Ratio(double ratio) {
    return {Kind::kRatio, ratio};
}

// The answer is given once: a second dialog of the same key (Max FM
// Offset after a zero span) is cancelled.
std::optional<double> OneAnswerDialogs::Take(Kind asked) {
    if (asked != kind_) {
        return std::nullopt;
    }
    return std::exchange(value_, std::nullopt);
}

std::optional<double> OneAnswerDialogs::EnterFrequency(const std::string&, std::optional<double>) {
    return Take(Kind::kFrequency);
}

std::optional<double> OneAnswerDialogs::EnterAmplitude(const std::string&, double) {
    return Take(Kind::kAmplitude);
}

std::optional<ZeroSpanChoice> OneAnswerDialogs::EnterZeroSpan(double sweepTimeMs) {
    return ZeroSpanChoice{sweepTimeMs, false};
}

std::optional<double> OneAnswerDialogs::EnterSpanRbwRatio(double) {
    return Take(Kind::kRatio);
}

}  // namespace tavlin
