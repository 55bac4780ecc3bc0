#include "document/timed_prompter.h"

#include "ports/clock.h"

namespace tavlin {

PromptAnswer TimedPrompter::Show(const std::string& text, const std::string& caption,
                                 PromptButtons buttons) {
    const std::uint32_t t0 = clock_.TickMs();
    const PromptAnswer answer = inner_.Show(text, caption, buttons);
    shownMs_ += clock_.TickMs() - t0;  // unsigned: a wrap of the tick gives the right difference
    return answer;
}

}  // namespace tavlin
