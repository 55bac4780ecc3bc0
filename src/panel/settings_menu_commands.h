#pragma once

namespace tavlin {

class EntryDialogs;
class AnalyzerDocument;

// The check mark and enabled state of one menu entry, computed from the
// settings each time the menu opens.
struct MenuItemState {
    bool enabled = true;
    bool checked = false;
};

// The entries of the Settings menu that carry a check mark or an enable rule.
enum class SettingsMenuItem {
    RefLevelOffset,
    RfPreamplifier,
    SignalTrackOn,
    SignalTrackOff,
    VideoAveraging1,
    VideoAveraging10,
    VideoAveraging100,
    ImageSuppressionOn,
    ImageSuppressionOff,
    ImageSuppressionRealtime,
    SyncTrigIn,
    SyncTrigSyncOut,
    SyncTrigOff,
    SyncTrigMode1,     // no menu entry: sets mode 1
    SyncTrigNotMode1,  // no menu entry: sets mode 0
    ColorSchemeKvo,
    ColorSchemeClassic,
    Counter,
};

// The Settings menu, Edit "Set Title" and the colour scheme: each handler
// opens its entry dialog where it has one and writes the document.
class SettingsMenuCommands {
  public:
    SettingsMenuCommands(AnalyzerDocument& document, EntryDialogs& dialogs)
        : doc_(document), dialogs_(dialogs) {}

    void OnCfStepSize();
    void OnRefLevelStep();
    void OnRefLevelOffset();
    void OnRfPreamplifier();
    void OnSpanRbwRatio();
    void OnSweepTime();
    void OnSignalTrack(bool on);
    void OnVideoAveraging(int count);  // 1, 10 or 100
    void OnImageSuppression(bool on);
    void OnRealtime();
    // 3 = TRIG IN, 2 = SYNC OUT, 0 = OFF; 1 and the second 0 have no menu entry.
    void OnSyncTrig(int mode);
    void OnSyncTrigWithoutEntry(int mode);
    void OnColorScheme(bool classic);
    void OnCounter();
    void OnSetMarkerFreq();
    void OnDownconverterOffset();
    void OnSetTitle();

    MenuItemState State(SettingsMenuItem item) const;

  private:
    AnalyzerDocument& doc_;
    EntryDialogs& dialogs_;
};

}  // namespace tavlin
