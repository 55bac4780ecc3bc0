#include "panel/settings_menu_commands.h"

#include <functional>
#include <optional>
#include <string>

#include "base/finite_entry.h"
#include "document/analyzer_document.h"
#include "document/level_settings.h"
#include "document/marker_commands.h"
#include "document/sweep_pause.h"
#include "panel/front_panel_commands.h"
#include "ports/entry_dialogs.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"

namespace tavlin {

namespace {

// SYNC / TRIG modes.
constexpr int kSyncTrigOff = 0;
constexpr int kSyncTrigReserved = 1;
constexpr int kSyncOut = 2;
constexpr int kTrigIn = 3;

// Read and write time-outs of the data channel once no trigger is awaited.
constexpr int kUntriggeredDataTimeoutMs = 1000;

// SendSyncTrigMode: the mode goes to the instrument with the sweep stopped;
// whatever the link must know about the new mode is changed inside the same
// pause, so no sweep runs with one and not the other.
void SendSyncTrigMode(AnalyzerDocument& doc, int mode,
                      const std::function<void(DeviceLink&)>& withLink = {}) {
    SweepPause pause(doc);
    DeviceLink& link = pause.Instrument().Link();
    doc.EditSettings([mode](InstrumentState& s) { s.syncTrigMode = mode; });
    if (withLink) {
        withLink(link);
    }
    link.SetSyncTrigger(mode);
}

bool IsVideoAveragingChoice(int count) {
    return count == 1 || count == 10 || count == 100;
}

}  // namespace

// --- Steps and offsets ----------------------------------------------------------------

// The step entries open at the step in force, so a look does not lose it.
void SettingsMenuCommands::OnCfStepSize() {
    const double current = doc_.ReadSettings([](const InstrumentState& s) { return s.cfStepHz; });
    const auto entered = FiniteEntry(dialogs_.EnterFrequency("STEP FREQ", current));
    if (!entered) {
        return;
    }
    doc_.EditSettings([&entered](InstrumentState& s) { s.cfStepHz = *entered; });
}

void SettingsMenuCommands::OnRefLevelStep() {
    const double current =
        doc_.ReadSettings([](const InstrumentState& s) { return s.refLevelStepDb; });
    const auto entered = FiniteEntry(dialogs_.EnterDb("Ref Lvl Step", current, DbRange::Any));
    if (!entered) {
        return;
    }
    doc_.EditSettings([&entered](InstrumentState& s) { s.refLevelStepDb = *entered; });
}

void SettingsMenuCommands::OnRefLevelOffset() {
    const double current =
        doc_.ReadSettings([](const InstrumentState& s) { return s.refLevelOffsetDb; });
    const auto entered = FiniteEntry(dialogs_.EnterDb("Ref Lvl Offset", current, DbRange::Any));
    if (!entered) {
        return;
    }
    const double offset = *entered;
    ChangeLevelSettings(doc_, [offset](InstrumentState& s) { s.refLevelOffsetDb = offset; });
}

// Negative offsets are accepted: a downconverter may mix from above.
void SettingsMenuCommands::OnDownconverterOffset() {
    const double current =
        doc_.ReadSettings([](const InstrumentState& s) { return s.freqOffsetHz; });
    const auto entered = FiniteEntry(dialogs_.EnterFrequency("FREQ OFFSET", current));
    if (!entered) {
        return;
    }
    doc_.EditSettings([&entered](InstrumentState& s) { s.freqOffsetHz = *entered; });
}

// --- Receiver --------------------------------------------------------------------------

// Without a preamplifier fitted the item is disabled and does nothing.
void SettingsMenuCommands::OnRfPreamplifier() {
    if (!doc_.ReadSettings([](const InstrumentState& s) { return s.preampAvailable; })) {
        return;
    }
    SweepPause pause(doc_);
    bool on = false;
    doc_.EditSettings([&on](InstrumentState& s) {
        s.preampOn = !s.preampOn;
        on = s.preampOn;
    });
    pause.Instrument().Link().SetPreamp(on);
}

// The RBW is not recomputed here: the next sweep stores the one it uses.
void SettingsMenuCommands::OnSpanRbwRatio() {
    const double current =
        doc_.ReadSettings([](const InstrumentState& s) { return s.spanRbwRatio; });
    const auto entered = FiniteEntry(dialogs_.EnterSpanRbwRatio(current));
    if (!entered || *entered <= 0.0) {
        return;  // a ratio of 0 or less gives no bandwidth
    }
    doc_.EditSettings([&entered](InstrumentState& s) { s.spanRbwRatio = *entered; });
}

void SettingsMenuCommands::OnSweepTime() {
    const FrequencyPair now = doc_.Frequencies();
    if (now.ZeroSpan()) {
        FrontPanelCommands(doc_, dialogs_).OnZeroSpan();
    } else {
        doc_.GetPrompter().Inform("Sweep time is currently adjustable in zero-span only",
                                  "NOT AVAILABLE");
    }
    doc_.RequestRepaint();
}

void SettingsMenuCommands::OnSignalTrack(bool on) {
    doc_.EditSettings([on](InstrumentState& s) { s.signalTrack = on ? 1 : 0; });
}

// Choosing a count, even the one in force, starts the average afresh.
void SettingsMenuCommands::OnVideoAveraging(int count) {
    if (!IsVideoAveragingChoice(count)) {
        return;
    }
    doc_.EditSettings([count](InstrumentState& s) {
        s.videoAvgCount = count;
        s.videoAvgIndex = 0;
    });
}

void SettingsMenuCommands::OnImageSuppression(bool on) {
    SweepPause pause(doc_);
    doc_.EditSettings([on](InstrumentState& s) { s.imageReject = on ? 1 : 0; });
}

void SettingsMenuCommands::OnRealtime() {
    doc_.EditSettings([](InstrumentState& s) { s.realtimeMode = s.realtimeMode != 0 ? 0 : 1; });
}

// --- SYNC / TRIG ----------------------------------------------------------------------

// TRIG IN: the link waits for a trigger from the first sweep after the pause.
// OFF: the wait is given up before the pause, since a sweep waiting for a
// trigger that never comes would otherwise hold the pause for ever.
void SettingsMenuCommands::OnSyncTrig(int mode) {
    switch (mode) {
        case kTrigIn:
            SendSyncTrigMode(doc_, kTrigIn, [](DeviceLink& link) { link.waitForTrigger = true; });
            break;
        case kSyncOut:
            SendSyncTrigMode(doc_, kSyncOut);
            break;
        case kSyncTrigOff:
            doc_.GiveUpTriggerWait();
            SendSyncTrigMode(doc_, kSyncTrigOff, [](DeviceLink& link) {
                link.SetDataTimeouts(kUntriggeredDataTimeoutMs);
            });
            break;
        default:
            break;
    }
}

// The two commands without a menu entry: the reserved mode 1 and a plain 0.
void SettingsMenuCommands::OnSyncTrigWithoutEntry(int mode) {
    if (mode == kSyncTrigReserved || mode == kSyncTrigOff) {
        SendSyncTrigMode(doc_, mode);
    }
}

// --- Display ---------------------------------------------------------------------------

void SettingsMenuCommands::OnColorScheme(bool classic) {
    doc_.EditTrace([classic](ScreenState& screen) { screen.display.classicColours = classic; });
}

void SettingsMenuCommands::OnCounter() {
    doc_.EditSettings([](InstrumentState& s) { s.counterOn = !s.counterOn; });
}

// The marker frequency is entered as it is stored: the downconverter offset
// is neither added to the value shown nor taken from the value entered.
void SettingsMenuCommands::OnSetMarkerFreq() {
    MarkerCommands markers(doc_);
    const double position = markers.Snapshot().marker1Pos;
    const auto entered = FiniteEntry(dialogs_.EnterFrequency("MARKER FREQ", position));
    if (!entered) {
        return;
    }
    markers.SetMarkerFreq(*entered);
}

void SettingsMenuCommands::OnSetTitle() {
    const std::optional<std::string> entered = dialogs_.EnterTitle("");
    if (!entered) {
        return;
    }
    doc_.EditSettings([&entered](InstrumentState& s) {
        s.title = *entered;
        s.titleSet = 1;
    });
}

// --- Check marks ----------------------------------------------------------------------

MenuItemState SettingsMenuCommands::State(SettingsMenuItem item) const {
    if (item == SettingsMenuItem::ColorSchemeKvo || item == SettingsMenuItem::ColorSchemeClassic) {
        const bool classic =
            doc_.ReadTrace([](const ScreenState& screen) { return screen.display.classicColours; });
        return {true, item == SettingsMenuItem::ColorSchemeClassic ? classic : !classic};
    }
    const InstrumentState s = doc_.ReadSettings([](const InstrumentState& st) { return st; });
    switch (item) {
        case SettingsMenuItem::RefLevelOffset:
            return {true, s.refLevelOffsetDb != 0.0};
        case SettingsMenuItem::RfPreamplifier:
            return {s.preampAvailable, s.preampAvailable && s.preampOn};
        case SettingsMenuItem::SignalTrackOn:
            return {true, s.signalTrack != 0};
        case SettingsMenuItem::SignalTrackOff:
            return {true, s.signalTrack == 0};
        case SettingsMenuItem::VideoAveraging1:
            return {true, s.videoAvgCount == 1};
        case SettingsMenuItem::VideoAveraging10:
            return {true, s.videoAvgCount == 10};
        case SettingsMenuItem::VideoAveraging100:
            return {true, s.videoAvgCount == 100};
        case SettingsMenuItem::ImageSuppressionOn:
            return {true, s.imageReject != 0};
        case SettingsMenuItem::ImageSuppressionOff:
            return {true, s.imageReject == 0};
        case SettingsMenuItem::ImageSuppressionRealtime:
            return {true, s.realtimeMode != 0};
        case SettingsMenuItem::SyncTrigIn:
            return {true, s.syncTrigMode == kTrigIn};
        case SettingsMenuItem::SyncTrigSyncOut:
            return {true, s.syncTrigMode == kSyncOut};
        case SettingsMenuItem::SyncTrigOff:
            return {true, s.syncTrigMode < kSyncOut};  // the reserved mode 1 counts as off
        case SettingsMenuItem::SyncTrigMode1:
            return {true, s.syncTrigMode == kSyncTrigReserved};
        case SettingsMenuItem::SyncTrigNotMode1:
            return {true, s.syncTrigMode != kSyncTrigReserved};
        case SettingsMenuItem::Counter:
            return {true, s.counterOn};
        case SettingsMenuItem::ColorSchemeKvo:
        case SettingsMenuItem::ColorSchemeClassic:
            break;
    }
    return {};
}

}  // namespace tavlin
