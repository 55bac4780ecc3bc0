#pragma once

#include <cstddef>
#include <optional>

namespace tavlin {

// Where the waterfall's lines lie down a view of some height, the newest at
// the top: each line a fixed number of pixels tall (the lines the view has
// no room for are kept but not shown), or in Fit the history's whole length
// spread over the height. A line is a slot of the history by age: 0 the
// newest, whether or not a sweep has filled it yet.
class WaterfallRows {
  public:
    // `lineHeight` in pixels, or WaterfallSettings::kFit.
    WaterfallRows(double viewHeight, int lineHeight, std::size_t historyLines);

    // The slots with at least part of them on the view.
    int SlotsShown() const { return slotsShown_; }
    double TopOf(int age) const { return age * lineHeight_; }
    // The slot under height `y` of the view; none outside the slots shown.
    std::optional<int> AgeAt(double y) const;

  private:
    double viewHeight_;
    double lineHeight_;
    int slotsShown_;
};

}  // namespace tavlin
