#include "panel/qt_front_panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <tuple>
#include <utility>

#include "document/analyzer_document.h"
#include "document/trace_mode.h"
#include "ports/view_notifier.h"
#include "utilities/receiver/qt_receiver_dialog.h"

namespace tavlin {

namespace {

constexpr int kMeasRcvrId = 1029;
constexpr int kColumns = 6;
constexpr int kModeButtons[] = {1025, 1026, 1018, 1019, 1044, 1012, 1023, 1024};

// A press runs the command and leaves the mark to the state it brings.
class ModeButton final : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void nextCheckState() override {}
};

QString ObjectNameOf(int commandId) {
    return QStringLiteral("button%1").arg(commandId);
}

}  // namespace

QtFrontPanel::QtFrontPanel(AnalyzerDocument& document, EntryDialogs& dialogs, QWidget* parent)
    : QWidget(parent), doc_(document), panel_(document, dialogs), markers_(document) {
    setObjectName(QStringLiteral("frontPanel"));
    setFixedWidth(kWidth);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(4, 4, 4, 4);
    layout_->setSpacing(4);
    AddFrequencyGroups();
    AddLevelAndMarkerGroups();
    AddSweepGroups();
    AddPresetButton();
    layout_->addStretch(1);
    AddShortcuts();
    SyncModes();
}

void QtFrontPanel::AddShortcuts() {
    constexpr std::pair<int, const char*> kKeys[] = {
        {1004, "C"},  {1008, "S"},
        {1006, "Z"},  {1007, "F"},
        {1011, "R"},  {1009, "A"},
        {1014, "P"},  {1015, "N"},
        {1012, "D"},  {1013, "O"},
        {1030, "M"},  {1025, "F5"},
        {1026, "F6"}, {1005, "Ctrl+Shift+P"},
    };
    for (const auto& [id, key] : kKeys) {
        QPushButton* button = Button(id);
        const QKeySequence sequence(QString::fromLatin1(key));
        button->setShortcut(sequence);
        button->setToolTip(
            QStringLiteral("Key: %1").arg(sequence.toString(QKeySequence::NativeText)));
    }
}

void QtFrontPanel::StepReferenceLevel(int steps) {
    for (int i = 0; i < std::abs(steps); ++i) {
        steps > 0 ? panel_.OnRefLevelUp() : panel_.OnRefLevelDown();
    }
}

QPushButton* QtFrontPanel::Button(int commandId) const {
    return findChild<QPushButton*>(ObjectNameOf(commandId));
}

QPushButton* QtFrontPanel::MakeButton(const PanelButton& entry, QWidget* parent) {
    const QString caption = QString::fromLatin1(entry.caption);
    const bool mode = std::ranges::find(kModeButtons, entry.id) != std::end(kModeButtons);
    QPushButton* button = mode ? new ModeButton(caption, parent) : new QPushButton(caption, parent);
    button->setCheckable(mode);
    button->setObjectName(ObjectNameOf(entry.id));
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    if (entry.action) {
        // A command may hold a modal dialog, under which the window can go.
        connect(button, &QPushButton::clicked, this,
                [self = QPointer<QtFrontPanel>(this), action = entry.action] {
                    action();
                    if (self) {
                        self->SyncModes();
                    }
                });
    }
    return button;
}

// A sweep that runs with its stop already asked for is the single one (or
// the last of a continuous run).
void QtFrontPanel::SyncModes() {
    const bool running = doc_.SweepRunning();
    const bool stopping = doc_.StopRequested();
    const auto [mode, linear, video] = doc_.ReadSettings([](const InstrumentState& s) {
        return std::tuple(TraceModeOf(s), s.linearScale != 0, s.videoTrigger);
    });
    const bool delta = markers_.Snapshot().markerDelta != 0;
    const std::pair<int, bool> marks[] = {
        {1025, running && !stopping},
        {1026, running && stopping},
        {1018, mode == TraceMode::kWrite},
        {1019, mode == TraceMode::kMaxHold},
        {1044, linear},
        {1012, delta},
        {1023, !video},
        {1024, video},
    };
    // A mode that is on reads in bold on its pressed-in button.
    for (const auto& [id, on] : marks) {
        QPushButton* button = Button(id);
        button->setChecked(on);
        if (button->font().bold() != on) {
            QFont font = button->font();
            font.setBold(on);
            button->setFont(font);
        }
    }
}

QGroupBox* QtFrontPanel::AddGroup(const char* title, std::initializer_list<ButtonRow> rows) {
    auto* group = new QGroupBox(QString::fromLatin1(title), this);
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(3);
    for (int column = 0; column < kColumns; ++column) {
        grid->setColumnStretch(column, 1);
    }
    int row = 0;
    for (const ButtonRow& buttons : rows) {
        int column = 0;
        for (const PanelButton& entry : buttons) {
            grid->addWidget(MakeButton(entry, group), row, column, 1, entry.columnSpan);
            column += entry.columnSpan;
        }
        ++row;
    }
    layout_->addWidget(group);
    return group;
}

void QtFrontPanel::AddFrequencyGroups() {
    FrontPanelCommands& p = panel_;
    AddGroup("FREQUENCY Controls", {{{1004, "CENTER FREQ", 4, [&p] { p.OnCenterFreq(); }},
                                     {1022, "--", 1, [&p] { p.OnCenterStepDown(); }},
                                     {1031, "+", 1, [&p] { p.OnCenterStepUp(); }}},
                                    {{1002, "START", 3, [&p] { p.OnStartFreq(); }},
                                     {1003, "STOP", 3, [&p] { p.OnStopFreq(); }}}});
    AddGroup("SPAN Controls", {{{1008, "SET SPAN", 4, [&p] { p.OnSetSpan(); }},
                                {1020, "--", 1, [&p] { p.OnSpanDown(); }},
                                {1021, "+", 1, [&p] { p.OnSpanUp(); }}},
                               {{1006, "ZERO SPAN", 3, [&p] { p.OnZeroSpan(); }},
                                {1007, "FULL SPAN", 3, [&p] { p.OnFullSpan(); }}}});
}

void QtFrontPanel::AddLevelAndMarkerGroups() {
    FrontPanelCommands& p = panel_;
    MarkerCommands& m = markers_;
    AddGroup("AMPLITUDE Controls", {{{1011, "REFERENCE LEVEL", 4, [&p] { p.OnReferenceLevel(); }},
                                     {1032, "--", 1, [&p] { p.OnRefLevelDown(); }},
                                     {1033, "+", 1, [&p] { p.OnRefLevelUp(); }}},
                                    {{1009, "ATTEN", 2, [&p] { p.OnAtten(); }},
                                     {1010, "dB/div", 2, [&p] { p.OnDbPerDiv(); }},
                                     {1044, "LIN", 2, [&p] { p.OnLin(); }}}});
    AddGroup("MARKER Controls", {{{1014, "PEAK", 2, [&m] { m.Peak(); }},
                                  {1015, "NORMAL", 2, [&m] { m.Normal(); }},
                                  {1012, "DELTA", 2, [&m] { m.Delta(); }}},
                                 {{1013, "OFF", 1, [&m] { m.Off(); }},
                                  {1030, "MKR->CF", 2, [&m] { m.MarkerToCenter(); }},
                                  {1028, "MKR->REF LVL", 3, [&m] { m.MarkerToRefLevel(); }}}});
    AddGroup("TRACE Controls", {{{1018, "NORMAL", 3, [&p] { p.OnTraceNormal(); }},
                                 {1019, "MAX HOLD", 3, [&p] { p.OnMaxHold(); }}}});
}

void QtFrontPanel::AddSweepGroups() {
    FrontPanelCommands& p = panel_;
    AnalyzerDocument& d = doc_;
    AddGroup("TRIGGER and SWEEP Controls", {{{1025, "CONTINUOUS", 3, [&d] { d.OnContinuous(); }},
                                             {1026, "SINGLE", 3, [&d] { d.OnSingle(); }}},
                                            {{1023, "FREE RUN", 3, [&p] { p.OnFreeRun(); }},
                                             {1024, "VIDEO", 3, [&p] { p.OnVideo(); }}}});
    MarkerCommands& m = markers_;
    QWidget* window = this;
    AddGroup("Additional Controls",
             {{{kMeasRcvrId, "MEAS RCVR", 3, [&d, window] { QtReceiverDialog::Open(d, window); }},
               {1027, "3 dB points", 3, [&m] { m.ThreeDbPoints(); }}}});
}

void QtFrontPanel::AddPresetButton() {
    AnalyzerDocument& d = doc_;
    layout_->addWidget(MakeButton({1005, "PRESET", kColumns, [&d] { d.OnPreset(); }}, this));
}

}  // namespace tavlin
