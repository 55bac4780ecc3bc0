#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ports/entry_dialogs.h"

namespace tavlin::test {

// Entry dialogs that answer from a script: one queue of answers per kind of
// dialog, taken in order. An empty queue, or an answer of std::nullopt, is a
// Cancel. Every opening is recorded with its label and starting value.
class ScriptedEntryDialogs final : public EntryDialogs {
  public:
    enum class Kind {
        Frequency,
        Amplitude,
        Db,
        Title,
        ZeroSpan,
        Ratio,
        Attenuator,
        ExtraDelay,
        TcpIp
    };

    struct Opening {
        Kind kind;
        std::string label;            // the keypad's, amplitude and dB entry's label
        std::optional<double> start;  // the starting number; none for "STEP FREQ" and text
        std::string startText;        // Title: the starting text; TcpIp: the address
    };

    std::deque<std::optional<double>> frequencies;
    std::deque<std::optional<double>> amplitudes;
    std::deque<std::optional<double>> dbs;
    std::deque<std::optional<std::string>> titles;
    std::deque<std::optional<ZeroSpanChoice>> zeroSpans;
    std::deque<std::optional<double>> ratios;
    std::deque<std::optional<int>> attenuators;
    std::deque<std::optional<int>> extraDelays;
    std::deque<std::optional<TcpIpSettings>> tcpIps;

    std::vector<Opening> openings;
    // Runs as each dialog opens, before it answers (for example: look at
    // whether the sweep is running while the dialog is up).
    std::function<void(const Opening&)> onOpen;

    std::optional<double> EnterFrequency(const std::string& label,
                                         std::optional<double> startHz) override {
        return Answer(frequencies, {Kind::Frequency, label, startHz, {}});
    }
    std::optional<double> EnterAmplitude(const std::string& label, double startDbm) override {
        return Answer(amplitudes, {Kind::Amplitude, label, startDbm, {}});
    }
    std::optional<double> EnterDb(const std::string& label, double start, DbRange) override {
        return Answer(dbs, {Kind::Db, label, start, {}});
    }
    std::optional<std::string> EnterTitle(const std::string& start) override {
        return Answer(titles, {Kind::Title, {}, std::nullopt, start});
    }
    std::optional<ZeroSpanChoice> EnterZeroSpan(double sweepTimeMs) override {
        return Answer(zeroSpans, {Kind::ZeroSpan, {}, sweepTimeMs, {}});
    }
    std::optional<double> EnterSpanRbwRatio(double ratio) override {
        return Answer(ratios, {Kind::Ratio, {}, ratio, {}});
    }
    std::optional<int> ChooseAttenuator(int index) override {
        return Answer(attenuators, {Kind::Attenuator, {}, index, {}});
    }
    std::optional<int> EnterExtraDelay(int milliseconds) override {
        return Answer(extraDelays, {Kind::ExtraDelay, {}, milliseconds, {}});
    }
    std::optional<TcpIpSettings> EnterTcpIp(const TcpIpSettings& start) override {
        return Answer(tcpIps, {Kind::TcpIp, {}, std::nullopt, start.address});
    }

  private:
    template <typename T>
    std::optional<T> Answer(std::deque<std::optional<T>>& queue, Opening opening) {
        openings.push_back(opening);
        if (onOpen) {
            onOpen(openings.back());
        }
        if (queue.empty()) {
            return std::nullopt;
        }
        std::optional<T> answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

}  // namespace tavlin::test
