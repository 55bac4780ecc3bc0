#include "app/qt_sweep_log_control.h"

#include <QAction>
#include <QLabel>

#include "app/qt_sweep_log_dialog.h"
#include "document/analyzer_document.h"
#include "ports/prompter.h"
#include "view/sweep_log.h"

namespace tavlin {

QtSweepLogControl::QtSweepLogControl(AnalyzerDocument& document, QWidget* window)
    : QObject(window), doc_(document), window_(window) {
    start_ = new QAction(QStringLiteral("&Log Sweeps..."), this);
    start_->setObjectName(QStringLiteral("logSweeps"));
    start_->setStatusTip(QStringLiteral("Log every sweep with its UTC time to a CSV file"));
    connect(start_, &QAction::triggered, this, &QtSweepLogControl::AskAndStart);
    stop_ = new QAction(QStringLiteral("Stop Lo&gging Sweeps"), this);
    stop_->setObjectName(QStringLiteral("stopLoggingSweeps"));
    stop_->setStatusTip(QStringLiteral("Close the sweep log"));
    stop_->setEnabled(false);
    connect(stop_, &QAction::triggered, this, &QtSweepLogControl::Stop);
    pane_ = new QLabel(window);
    pane_->setObjectName(QStringLiteral("LOG"));
    pane_->setFrameShape(QFrame::Panel);
    pane_->setFrameShadow(QFrame::Sunken);
    pane_->hide();
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &QtSweepLogControl::Refresh);
}

QtSweepLogControl::~QtSweepLogControl() {
    if (log_) {
        doc_.SetSweepRecordSink({});
    }
}

void QtSweepLogControl::AskAndStart() {
    QtSweepLogDialog dialog(window_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    if (const std::string error = Start(dialog.Settings()); !error.empty()) {
        doc_.GetPrompter().Inform(error, kStoppedCaption);
    }
}

std::string QtSweepLogControl::Start(const SweepLogSettings& settings) {
    Stop();
    auto log = std::make_unique<SweepLog>(settings, doc_.GetClock());
    if (std::string error = log->Start(); !error.empty()) {
        return error;
    }
    log_ = std::move(log);
    doc_.SetSweepRecordSink([log = log_.get()](const SweepRecord& r) { log->Offer(r); });
    start_->setEnabled(false);
    stop_->setEnabled(true);
    pane_->setToolTip(QString::fromStdString(log_->GetStatus().file));
    pane_->show();
    refresh_.start();
    Refresh();
    return "";
}

void QtSweepLogControl::Stop() {
    if (log_) {
        Finish();
    }
}

void QtSweepLogControl::Refresh() {
    if (!log_) {
        return;
    }
    if (!log_->Running()) {
        const std::string reason = log_->GetStatus().stopReason;
        Finish();
        if (!reason.empty()) {
            doc_.GetPrompter().Inform(reason, kStoppedCaption);
        }
        return;
    }
    pane_->setText(QStringLiteral("LOG %1").arg(log_->GetStatus().written));
}

// The sink goes first, so no sweep is handed to a log that is closing.
void QtSweepLogControl::Finish() {
    doc_.SetSweepRecordSink({});
    log_->Stop();
    log_.reset();
    refresh_.stop();
    pane_->hide();
    start_->setEnabled(true);
    stop_->setEnabled(false);
}

}  // namespace tavlin
