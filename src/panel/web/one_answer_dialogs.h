#pragma once

#include <optional>

#include "ports/entry_dialogs.h"

namespace tavlin {

// The entry dialogs of a front-panel key pressed on the web page: the value
// came with the request, already checked as the window's dialog checks it,
// and is the answer of the one dialog the key opens. Any other dialog is
// cancelled, as a user who wanted none of it would.
class OneAnswerDialogs final : public EntryDialogs {
  public:
    static OneAnswerDialogs Frequency(double hz);
    static OneAnswerDialogs Amplitude(double dbm);
    static OneAnswerDialogs Ratio(double ratio);

    std::optional<double> EnterFrequency(const std::string& label,
                                         std::optional<double> startHz) override;
    std::optional<double> EnterAmplitude(const std::string& label, double startDbm) override;
    std::optional<double> EnterDb(const std::string&, double, DbRange) override {
        return std::nullopt;
    }
    std::optional<std::string> EnterTitle(const std::string&) override { return std::nullopt; }
    // A zero span entered on the page sweeps with the window's starting
    // choice: 10 ms, AM.
    std::optional<ZeroSpanChoice> EnterZeroSpan(double sweepTimeMs) override;
    std::optional<double> EnterSpanRbwRatio(double ratio) override;
    std::optional<int> ChooseAttenuator(int) override { return std::nullopt; }
    std::optional<int> EnterExtraDelay(int) override { return std::nullopt; }
    std::optional<TcpIpSettings> EnterTcpIp(const TcpIpSettings&) override { return std::nullopt; }

  private:
    enum class Kind { kFrequency, kAmplitude, kRatio };
    OneAnswerDialogs(Kind kind, double value) : kind_(kind), value_(value) {}
    std::optional<double> Take(Kind asked);

    Kind kind_;
    std::optional<double> value_;
};

}  // namespace tavlin
