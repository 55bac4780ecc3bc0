#pragma once

namespace tavlin {

class EntryDialogs;
class VUDAVEZid;

// The Trace menu: store trace A as trace B, show trace B, and the pair of
// horizontal limit lines, all held as screen rows.
class LimitLineCommands {
  public:
    LimitLineCommands(VUDAVEZid& document, EntryDialogs& dialogs)
        : doc_(document), dialogs_(dialogs) {}

    void OnTraceAToB();
    void OnViewTraceB();
    void OnLimitLines();

    bool TraceBShown() const;
    bool LimitLinesOn() const;

  private:
    VUDAVEZid& doc_;
    EntryDialogs& dialogs_;
};

}  // namespace tavlin
