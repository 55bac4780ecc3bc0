#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ports/prompter.h"

namespace tavlin {

class Clock;

// The sweep's message boxes, timed: a pass that waited on the user for a
// warning took that long only because nobody pressed OK, and its sweep time
// must not say otherwise.
class TimedPrompter : public Prompter {
  public:
    TimedPrompter(Prompter& inner, Clock& clock) : inner_(inner), clock_(clock) {}

    PromptAnswer Show(const std::string& text, const std::string& caption,
                      PromptButtons buttons) override;
    void Beep(int frequencyHz, int durationMs) override { inner_.Beep(frequencyHz, durationMs); }

    // The milliseconds spent in boxes since the last call.
    std::uint32_t TakeShownMs() { return shownMs_.exchange(0); }

  private:
    Prompter& inner_;
    Clock& clock_;
    std::atomic<std::uint32_t> shownMs_{0};
};

}  // namespace tavlin
