#pragma once

#include <QMenu>
#include <QObject>
#include <QPoint>

#include "panel/plot_tuning.h"

namespace tavlin {

class AnalyzerDocument;
class QtPlotView;

// The plot's mouse tuning and its right-click menu: the view's signals in
// trace columns become tuning and marker commands on the document.
class QtPlotControls final : public QObject {
    Q_OBJECT

  public:
    QtPlotControls(AnalyzerDocument& document, QtPlotView& view);

    // The right-click menu; shown without waiting, so the window goes on
    // painting under it.
    QMenu& Menu() { return menu_; }
    void ShowMenu(int column, const QPoint& globalPosition);

  private:
    void OnWheel(int notches, Qt::KeyboardModifiers modifiers, int column);
    void AddMenuItems();
    QAction* AddItem(const QString& caption, const char* name, void (QtPlotControls::*command)());
    void MarkerHere();
    void PeakSearch();
    void NextPeak();
    void MarkerToCentre();
    void DeltaHere();
    void CentreHere();
    void ZoomOut();

    AnalyzerDocument& doc_;
    PlotTuning tuning_;
    QMenu menu_;
    QList<QAction*> frequencyItems_;  // meaningless in zero span, where columns are times
    int menuColumn_ = 0;
};

}  // namespace tavlin
