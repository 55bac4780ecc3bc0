#pragma once

namespace tavlin {

class EntryDialogs;
class AnalyzerDocument;

// The Trace menu: store trace A as trace B, show trace B, and the pair of
// horizontal limit lines, all held as screen rows.
class LimitLineCommands {
  public:
    LimitLineCommands(AnalyzerDocument& document, EntryDialogs& dialogs)
        : doc_(document), dialogs_(dialogs) {}

    void OnTraceAToB();
    void OnViewTraceB();
    void OnLimitLines();

    bool TraceBShown() const;
    bool LimitLinesOn() const;

  private:
    AnalyzerDocument& doc_;
    EntryDialogs& dialogs_;
};

}  // namespace tavlin
