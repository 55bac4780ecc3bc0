#pragma once

namespace tavlin {

// Repaint requests from the document and the sweep thread to the views.
// Implementations must only post the request; they never paint in the caller.
class ViewNotifier {
  public:
    virtual ~ViewNotifier() = default;
    // Full repaint with the document's current state.
    virtual void UpdateAllViews() = 0;
    // Repaint after a sweep pass (invalidate without erasing the background).
    virtual void InvalidateTrace() = 0;
};

class NullViewNotifier final : public ViewNotifier {
  public:
    void UpdateAllViews() override {}
    void InvalidateTrace() override {}
};

}  // namespace tavlin
