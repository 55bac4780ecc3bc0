#include "app/qt_trace_mode_menu.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QWidget>

#include "document/analyzer_document.h"
#include "document/trace_mode.h"
#include "view/limit_line_commands.h"
#include "view/trace_b_file.h"

namespace tavlin {

namespace {

const QString kTraceFiles = QStringLiteral("Traces (*.csv);;All files (*)");

}  // namespace

QtTraceModeMenu::QtTraceModeMenu(QMenu* trace, AnalyzerDocument& document,
                                 LimitLineCommands& commands, QWidget* parent)
    : QObject(parent), doc_(document), commands_(commands), parent_(parent) {
    trace->addSeparator();
    AddModes(trace);
    AddDetectors(trace);
    QAction* math = trace->addAction(QStringLiteral("Trace A-B"));
    math->setObjectName(QStringLiteral("traceMath"));
    math->setCheckable(true);
    connect(math, &QAction::triggered, this, [this] { commands_.OnTraceMath(); });
    connect(trace, &QMenu::aboutToShow, this,
            [this, math] { math->setChecked(commands_.TraceMathShown()); });
    AddTraceBFiles(trace);
}

// VIEW stops the sweep after this pass and the trace stays; CONTINUOUS
// sweeps again.
void QtTraceModeMenu::AddModes(QMenu* trace) {
    QMenu* modes = trace->addMenu(QStringLiteral("Trace Mode"));
    modes->setObjectName(QStringLiteral("traceModeMenu"));
    auto* group = new QActionGroup(modes);
    const auto add = [this, modes, group](const QString& text, const QString& name,
                                          TraceMode mode) {
        QAction* action = modes->addAction(text);
        action->setObjectName(name);
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, mode] {
            doc_.EditSettings([mode](InstrumentState& s) { SetTraceMode(s, mode); });
        });
        return action;
    };
    QAction* write =
        add(QStringLiteral("Clear/Write"), QStringLiteral("traceWrite"), TraceMode::kWrite);
    QAction* maxHold =
        add(QStringLiteral("Max Hold"), QStringLiteral("traceMaxHold"), TraceMode::kMaxHold);
    QAction* minHold =
        add(QStringLiteral("Min Hold"), QStringLiteral("traceMinHold"), TraceMode::kMinHold);
    QAction* average = modes->addAction(QStringLiteral("Average..."));
    average->setObjectName(QStringLiteral("traceAverage"));
    average->setCheckable(true);
    group->addAction(average);
    connect(average, &QAction::triggered, this, &QtTraceModeMenu::AskAverage);
    QAction* view = modes->addAction(QStringLiteral("View"));
    view->setObjectName(QStringLiteral("traceView"));
    connect(view, &QAction::triggered, this, [this] { doc_.StopAfterThisPass(); });
    connect(modes, &QMenu::aboutToShow, this, [this, write, maxHold, minHold, average] {
        const TraceMode mode =
            doc_.ReadSettings([](const InstrumentState& s) { return TraceModeOf(s); });
        write->setChecked(mode == TraceMode::kWrite);
        maxHold->setChecked(mode == TraceMode::kMaxHold);
        minHold->setChecked(mode == TraceMode::kMinHold);
        average->setChecked(mode == TraceMode::kAverage);
    });
}

void QtTraceModeMenu::AskAverage() {
    bool ok = false;
    const int count = QInputDialog::getInt(
        parent_, QStringLiteral("Average"), QStringLiteral("Sweeps averaged in power:"),
        kDefaultPowerAverageCount, 2, kMostPowerAverageCount, 1, &ok);
    if (ok) {
        doc_.EditSettings(
            [count](InstrumentState& s) { SetTraceMode(s, TraceMode::kAverage, count); });
    }
}

void QtTraceModeMenu::AddDetectors(QMenu* trace) {
    QMenu* detectors = trace->addMenu(QStringLiteral("Detector"));
    detectors->setObjectName(QStringLiteral("detectorMenu"));
    auto* group = new QActionGroup(detectors);
    const std::pair<const char*, Detector> choices[] = {{"Peak", Detector::kPeak},
                                                        {"Sample", Detector::kSample},
                                                        {"Average", Detector::kAverage},
                                                        {"RMS", Detector::kRms}};
    for (const auto& [text, detector] : choices) {
        QAction* action = detectors->addAction(QString::fromLatin1(text));
        action->setObjectName(QStringLiteral("detector") + QString::fromLatin1(text));
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, detector] {
            doc_.EditSettings([detector](InstrumentState& s) { s.detector = detector; });
        });
        connect(detectors, &QMenu::aboutToShow, this, [this, action, detector] {
            action->setChecked(
                doc_.ReadSettings([](const InstrumentState& s) { return s.detector; }) == detector);
        });
    }
}

void QtTraceModeMenu::AddTraceBFiles(QMenu* trace) {
    QAction* save = trace->addAction(QStringLiteral("Save Trace B..."));
    save->setObjectName(QStringLiteral("saveTraceB"));
    connect(save, &QAction::triggered, this, &QtTraceModeMenu::SaveTraceB);
    QAction* load = trace->addAction(QStringLiteral("Load Trace B..."));
    load->setObjectName(QStringLiteral("loadTraceB"));
    connect(load, &QAction::triggered, this, &QtTraceModeMenu::LoadTraceB);
}

void QtTraceModeMenu::SaveTraceB() {
    const QString path = QFileDialog::getSaveFileName(parent_, QStringLiteral("Save Trace B"),
                                                      QString(), kTraceFiles);
    if (path.isEmpty()) {
        return;
    }
    const std::string error = TraceBFile::Save(doc_, path.toStdString());
    if (!error.empty()) {
        doc_.GetPrompter().Inform(error, "UNABLE TO SAVE");
    }
}

void QtTraceModeMenu::LoadTraceB() {
    const QString path = QFileDialog::getOpenFileName(parent_, QStringLiteral("Load Trace B"),
                                                      QString(), kTraceFiles);
    if (path.isEmpty()) {
        return;
    }
    const std::string error = TraceBFile::Load(doc_, path.toStdString());
    if (!error.empty()) {
        doc_.GetPrompter().Inform(error, "UNABLE TO OPEN");
    }
}

}  // namespace tavlin
