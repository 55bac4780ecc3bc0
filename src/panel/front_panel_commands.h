#pragma once

namespace tavlin {

class EntryDialogs;
class AnalyzerDocument;

// The buttons of the front panel that set the frequency, span, amplitude,
// trace and trigger. Each opens its entry dialog where it has one and writes
// the result into the document. Marker, sweep and preset buttons go straight
// to MarkerCommands and the document.
class FrontPanelCommands {
  public:
    FrontPanelCommands(AnalyzerDocument& document, EntryDialogs& dialogs)
        : doc_(document), dialogs_(dialogs) {}

    // FREQUENCY Controls
    void OnCenterFreq();
    void OnCenterStepDown();
    void OnCenterStepUp();
    void OnStartFreq();
    void OnStopFreq();
    // SPAN Controls
    void OnSetSpan();
    void OnSpanDown();
    void OnSpanUp();
    void OnZeroSpan();
    void OnFullSpan();
    // AMPLITUDE Controls
    void OnReferenceLevel();
    void OnRefLevelDown();
    void OnRefLevelUp();
    void OnAtten();
    void OnDbPerDiv();
    void OnLin();
    // TRACE Controls
    void OnTraceNormal();
    void OnMaxHold();
    // TRIGGER and SWEEP Controls
    void OnFreeRun();
    void OnVideo();

  private:
    AnalyzerDocument& doc_;
    EntryDialogs& dialogs_;
};

}  // namespace tavlin
