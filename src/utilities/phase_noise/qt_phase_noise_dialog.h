#pragma once

#include <QDialog>
#include <QWidget>
#include <string>

#include "utilities/phase_noise/phase_noise_curve.h"

class QLineEdit;

namespace tavlin {

class AnalyzerDocument;
class EntryDialogs;

// The plot itself, drawn by QtPhaseNoisePainter at its fixed size.
class QtPhaseNoisePlot : public QWidget {
    Q_OBJECT
  public:
    QtPhaseNoisePlot(const PhaseNoiseCurve& curve, const double& reference,
                     const std::string& title, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const PhaseNoiseCurve& curve_;
    const double& reference_;
    const std::string& title_;
};

// "Phase Noise Plot": the plot, "+" and "-" to move the reference 10 dB
// (never above 0 dBc/Hz), the reference as "%.0f dBc/Hz", "Add Title" and
// "SAVE PLOT" (the plot in black on white with its blue grid, as a bitmap).
class QtPhaseNoiseDialog : public QDialog {
    Q_OBJECT
  public:
    QtPhaseNoiseDialog(const PhaseNoiseSweeps& sweeps, EntryDialogs& entries,
                       QWidget* parent = nullptr);

    double Reference() const { return reference_; }
    QString ReferenceText() const;
    const std::string& Title() const { return title_; }

    void RaiseReference();
    void LowerReference();
    void AddTitle();
    void SavePlot();
    // Writes the plot as SAVE PLOT does; the step that failed, or empty.
    std::string SavePlotTo(const std::string& path) const;

  private:
    void ShowReference();

    PhaseNoiseCurve curve_;
    EntryDialogs& entries_;
    double reference_ = -30.0;
    std::string title_;
    QtPhaseNoisePlot* plot_ = nullptr;
    QLineEdit* referenceEdit_ = nullptr;
};

// Utilities > "Phase Noise Plot": the procedure on a worker thread (it
// pauses the sweep, warns and asks whether the carrier is centred through
// the document's prompter, which shows its boxes on the GUI thread), then,
// with the analyzer back as it was, the plot dialog on the GUI thread.
// Returns at once; a second call before the plot has closed does nothing.
// The document and the entry dialogs must outlive the run: a window that
// closes while PhaseNoisePlotRunning() is true must wait for it first.
void StartPhaseNoisePlot(AnalyzerDocument& document, EntryDialogs& entries, QWidget* parent);

// True from the start of the procedure until its plot has closed.
bool PhaseNoisePlotRunning();

}  // namespace tavlin
