#include "app/qt_marker_menu.h"

#include <QActionGroup>
#include <QDockWidget>
#include <QMainWindow>
#include <QSettings>

#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "view/qt_marker_panel.h"
#include "view/qt_peak_table_dialog.h"

namespace tavlin {

namespace {

QString MarkerKey(int number, const char* field) {
    return QStringLiteral("Markers/%1/%2").arg(number).arg(QLatin1String(field));
}

}  // namespace

QtMarkerMenu::QtMarkerMenu(AnalyzerDocument& document, QMainWindow& frame)
    : QMenu(QStringLiteral("&Marker"), &frame), doc_(document) {
    setObjectName(QStringLiteral("markerMenu"));
    dock_ = new QDockWidget(QStringLiteral("Marker Table"), &frame);
    dock_->setObjectName(QStringLiteral("markerTableDock"));
    panel_ = new QtMarkerPanel(doc_, dock_);
    dock_->setWidget(panel_);
    frame.addDockWidget(Qt::BottomDockWidgetArea, dock_);
    dock_->hide();
    QAction* table = dock_->toggleViewAction();
    table->setText(QStringLiteral("Marker Table"));
    table->setObjectName(QStringLiteral("markerTable"));
    addAction(table);
    AddActiveMarkerMenu();
    QAction* off =
        addAction(QStringLiteral("Active Marker Off"), this, &QtMarkerMenu::ActiveMarkerOff);
    off->setObjectName(QStringLiteral("activeMarkerOff"));
    addSeparator();
    AddPeakSearches();
    addSeparator();
    QAction* peaks = addAction(QStringLiteral("Peak Table..."), this, [this] {
        PeakTable().show();
        PeakTable().raise();
    });
    peaks->setObjectName(QStringLiteral("peakTable"));
}

void QtMarkerMenu::AddActiveMarkerMenu() {
    QMenu* menu = addMenu(QStringLiteral("Active Marker"));
    menu->setObjectName(QStringLiteral("activeMarkerMenu"));
    active_ = new QActionGroup(this);
    for (int n = 1; n <= ExtraMarkers::kLast; ++n) {
        QAction* action = menu->addAction(QStringLiteral("Marker %1").arg(n));
        action->setObjectName(QStringLiteral("activeMarker%1").arg(n));
        action->setCheckable(true);
        action->setData(n);
        active_->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, n] { MarkerCommands(doc_).ActivateMarker(n); });
    }
    connect(this, &QMenu::aboutToShow, this, [this] {
        const int number = MarkerCommands(doc_).Snapshot().ActiveNumber();
        for (QAction* action : active_->actions()) {
            action->setChecked(action->data().toInt() == number);
        }
    });
}

void QtMarkerMenu::AddPeakSearches() {
    const struct {
        const char* text;
        const char* name;
        PeakSearch search;
    } searches[] = {{"Next Peak", "nextPeak", PeakSearch::kNextLower},
                    {"Next Peak Left", "nextPeakLeft", PeakSearch::kLeft},
                    {"Next Peak Right", "nextPeakRight", PeakSearch::kRight}};
    QAction* peak =
        addAction(QStringLiteral("Peak Search"), this, [this] { MarkerCommands(doc_).Peak(); });
    peak->setObjectName(QStringLiteral("peakSearch"));
    for (const auto& s : searches) {
        const PeakSearch search = s.search;
        QAction* action = addAction(QString::fromLatin1(s.text), this,
                                    [this, search] { MarkerCommands(doc_).NextPeak(search); });
        action->setObjectName(QString::fromLatin1(s.name));
    }
}

// Marker 1 off is OFF and marker 2 off leaves delta mode, as on the panel.
void QtMarkerMenu::ActiveMarkerOff() {
    MarkerCommands markers(doc_);
    const int number = markers.Snapshot().ActiveNumber();
    if (ExtraMarkers::Holds(number)) {
        markers.ExtraMarkerOff(number);
    } else if (number == 2) {
        markers.DeltaOff();
    } else {
        markers.Off();
    }
}

QtPeakTableDialog& QtMarkerMenu::PeakTable() {
    if (!peakTable_) {
        peakTable_ = new QtPeakTableDialog(doc_, parentWidget());
        peakTable_->SetLevels(levels_);
    }
    peakTable_->Refresh();
    return *peakTable_;
}

void QtMarkerMenu::SetLevels(const LevelDisplay& levels) {
    levels_ = levels;
    panel_->SetLevels(levels);
    if (peakTable_) {
        peakTable_->SetLevels(levels);
    }
}

void QtMarkerMenu::RememberExtraMarkers(AnalyzerDocument& document) {
    const ExtraMarkers extra = MarkerCommands(document).Snapshot().extra;
    QSettings settings;
    for (int n = ExtraMarkers::kFirst; n <= ExtraMarkers::kLast; ++n) {
        settings.setValue(MarkerKey(n, "on"), extra.Of(n).on);
        settings.setValue(MarkerKey(n, "position"), extra.Of(n).position);
    }
}

// A position that is no number keeps its marker off.
void QtMarkerMenu::RestoreExtraMarkers(AnalyzerDocument& document) {
    const QSettings settings;
    ExtraMarkers kept;
    for (int n = ExtraMarkers::kFirst; n <= ExtraMarkers::kLast; ++n) {
        bool number = false;
        kept.Of(n).position = settings.value(MarkerKey(n, "position")).toDouble(&number);
        kept.Of(n).on = number && settings.value(MarkerKey(n, "on")).toBool();
    }
    MarkerCommands(document).RestoreExtraMarkers(kept);
}

}  // namespace tavlin
