#pragma once

#include <atomic>

#include "ports/view_notifier.h"

namespace tavlin::test {

class RecordingViewNotifier final : public ViewNotifier {
  public:
    void UpdateAllViews() override { ++updates; }
    void InvalidateTrace() override { ++invalidations; }

    std::atomic<int> updates{0};
    std::atomic<int> invalidations{0};
};

}  // namespace tavlin::test
