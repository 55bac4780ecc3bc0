#pragma once

#include <QWidget>
#include <functional>

#include "document/marker_commands.h"
#include "panel/front_panel_commands.h"

class QVBoxLayout;
class QGroupBox;
class QPushButton;

namespace tavlin {

class EntryDialogs;
class AnalyzerDocument;

// The button panel to the right of the plot, grouped as on a bench
// analyzer. Each button carries its command number in its object name
// ("button1004" for CENTER FREQ), so the two "NORMAL"s and the three
// "--" / "+" pairs can be told apart. Tab reaches every button, the main
// ones have a key of their own (shown in their tool tips), and a click
// leaves the keyboard where it was, so the arrow keys keep moving the marker.
//
// The buttons that select a mode (CONTINUOUS / SINGLE, trace NORMAL / MAX
// HOLD, LIN, DELTA, FREE RUN / VIDEO) show whether it is on. Their marks
// follow the document alone: SyncModes reads them after every press and
// whenever the document tells the views it changed.
class QtFrontPanel final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kWidth = 280;

    QtFrontPanel(AnalyzerDocument& document, EntryDialogs& dialogs, QWidget* parent = nullptr);

    // The button of a command number, or null.
    QPushButton* Button(int commandId) const;

  public Q_SLOTS:
    // The up and down keys over the plot: the reference level by its step,
    // a press of the AMPLITUDE "+" or "--" button a step.
    void StepReferenceLevel(int steps);
    // The mode buttons' marks from the present state.
    void SyncModes();

  private:
    struct PanelButton {
        int id;
        const char* caption;
        int columnSpan;
        std::function<void()> action;
    };

    using ButtonRow = std::initializer_list<PanelButton>;
    // Each row's column spans add up to six.
    QGroupBox* AddGroup(const char* title, std::initializer_list<ButtonRow> rows);
    QPushButton* MakeButton(const PanelButton& entry, QWidget* parent);
    void AddFrequencyGroups();
    void AddLevelAndMarkerGroups();
    void AddSweepGroups();
    void AddPresetButton();
    void AddShortcuts();

    AnalyzerDocument& doc_;
    FrontPanelCommands panel_;
    MarkerCommands markers_;
    QVBoxLayout* layout_ = nullptr;
};

}  // namespace tavlin
