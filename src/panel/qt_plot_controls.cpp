#include "panel/qt_plot_controls.h"

#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "document/marker_state.h"
#include "view/qt_plot_view.h"

namespace tavlin {

QtPlotControls::QtPlotControls(AnalyzerDocument& document, QtPlotView& view)
    : QObject(&view), doc_(document), tuning_(document) {
    menu_.setObjectName(QStringLiteral("plotMenu"));
    AddMenuItems();
    connect(&view, &QtPlotView::wheelNotches, this, &QtPlotControls::OnWheel);
    connect(&view, &QtPlotView::columnDoubleClicked, this,
            [this](int column) { tuning_.CentreAtColumn(column); });
    connect(&view, &QtPlotView::axisDragged, this, [this](int columns) { tuning_.Pan(columns); });
    connect(&view, &QtPlotView::boxDrawn, this,
            [this](int from, int to) { tuning_.ZoomToColumns(from, to); });
    connect(&view, &QtPlotView::menuRequested, this, &QtPlotControls::ShowMenu);
}

// Ctrl zooms before Shift refines: a zoom is the larger change.
void QtPlotControls::OnWheel(int notches, Qt::KeyboardModifiers modifiers, int column) {
    WheelTuning how = WheelTuning::kCoarse;
    if (modifiers & Qt::ControlModifier) {
        how = WheelTuning::kZoom;
    } else if (modifiers & Qt::ShiftModifier) {
        how = WheelTuning::kFine;
    }
    tuning_.Wheel(notches, how, column);
}

QAction* QtPlotControls::AddItem(const QString& caption, const char* name,
                                 void (QtPlotControls::*command)()) {
    QAction* item = menu_.addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    connect(item, &QAction::triggered, this, command);
    return item;
}

void QtPlotControls::AddMenuItems() {
    AddItem(QStringLiteral("Marker Here"), "markerHere", &QtPlotControls::MarkerHere);
    AddItem(QStringLiteral("Peak Search"), "peakSearch", &QtPlotControls::PeakSearch);
    AddItem(QStringLiteral("Next Peak"), "nextPeak", &QtPlotControls::NextPeak);
    frequencyItems_.append(AddItem(QStringLiteral("Marker to Centre"), "markerToCentre",
                                   &QtPlotControls::MarkerToCentre));
    AddItem(QStringLiteral("Delta Here"), "deltaHere", &QtPlotControls::DeltaHere);
    menu_.addSeparator();
    frequencyItems_.append(
        AddItem(QStringLiteral("Centre Here"), "centreHere", &QtPlotControls::CentreHere));
    frequencyItems_.append(
        AddItem(QStringLiteral("Zoom Out"), "zoomOut", &QtPlotControls::ZoomOut));
}

void QtPlotControls::ShowMenu(int column, const QPoint& globalPosition) {
    menuColumn_ = column;
    const bool frequencies = !doc_.Frequencies().ZeroSpan();
    for (QAction* item : frequencyItems_) {
        item->setEnabled(frequencies);
    }
    menu_.popup(globalPosition);
}

void QtPlotControls::MarkerHere() {
    MarkerCommands(doc_).PlaceActiveMarker(menuColumn_);
}

void QtPlotControls::PeakSearch() {
    MarkerCommands(doc_).Peak();
}

void QtPlotControls::NextPeak() {
    MarkerCommands(doc_).NextPeak(tavlin::PeakSearch::kNextLower);
}

void QtPlotControls::MarkerToCentre() {
    MarkerCommands(doc_).MarkerToCenter();
}

// Marker 2 becomes the active one (as DELTA's first press makes it) and goes
// to the column; marker 1 stays the reference where it stands.
void QtPlotControls::DeltaHere() {
    MarkerCommands markers(doc_);
    const MarkerState m = markers.Snapshot();
    if (m.markerDelta == 0 || m.marker2Active == 0) {
        markers.Delta();
    }
    if (markers.Snapshot().marker2Active == 0) {
        markers.Delta();  // marker 2 was active outside delta mode: the swap went the other way
    }
    markers.PlaceActiveMarker(menuColumn_);
}

void QtPlotControls::CentreHere() {
    tuning_.CentreAtColumn(menuColumn_);
}

void QtPlotControls::ZoomOut() {
    tuning_.ZoomOut();
}

}  // namespace tavlin
