#pragma once

#include <QMenu>
#include <QPointer>

#include "view/level_display.h"

class QActionGroup;
class QDockWidget;
class QMainWindow;

namespace tavlin {

class AnalyzerDocument;
class QtMarkerPanel;
class QtPeakTableDialog;

// The Marker menu: the marker table under the plot, the choice of the
// active marker (1 to 6), the peak searches for it and the peak table.
// Markers 3 to 6 are the window's: their positions are kept in the user's
// settings, not in state files.
class QtMarkerMenu final : public QMenu {
    Q_OBJECT

  public:
    // Adds the marker table's dock (hidden) to `frame`.
    QtMarkerMenu(AnalyzerDocument& document, QMainWindow& frame);

    QtMarkerPanel& Panel() const { return *panel_; }
    QDockWidget& Dock() const { return *dock_; }
    QtPeakTableDialog& PeakTable();
    // The window's unit and transducer, for the marker and peak tables.
    void SetLevels(const LevelDisplay& levels);

    // Markers 3 to 6 in the user's settings (QSettings, group "Markers"),
    // and back into the document at the next start.
    static void RememberExtraMarkers(AnalyzerDocument& document);
    static void RestoreExtraMarkers(AnalyzerDocument& document);

  private:
    void AddActiveMarkerMenu();
    void AddPeakSearches();
    void ActiveMarkerOff();

    AnalyzerDocument& doc_;
    QDockWidget* dock_ = nullptr;
    QtMarkerPanel* panel_ = nullptr;
    QActionGroup* active_ = nullptr;
    QPointer<QtPeakTableDialog> peakTable_;
    LevelDisplay levels_;
};

}  // namespace tavlin
