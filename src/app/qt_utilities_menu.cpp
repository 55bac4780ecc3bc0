#include "app/qt_utilities_menu.h"

#include <QAction>

#include "document/analyzer_document.h"
#include "ports/prompter.h"
#include "utilities/harmonics_plot.h"
#include "utilities/qt_receiver_dialog.h"
#include "utilities/utility_session.h"

namespace tavlin {

QtUtilitiesMenu::QtUtilitiesMenu(AnalyzerDocument& document, QWidget* parent)
    : QMenu(QStringLiteral("&Utilities"), parent), doc_(document) {
    setObjectName(QStringLiteral("utilitiesMenu"));
    receiver_ = addAction(QStringLiteral("Measuring Receiver"), this,
                          &QtUtilitiesMenu::OpenMeasuringReceiver);
    receiver_->setObjectName(QStringLiteral("action32810"));
    harmonics_ =
        addAction(QStringLiteral("Harmonics Plot"), this, &QtUtilitiesMenu::RunHarmonicsPlot);
    harmonics_->setObjectName(QStringLiteral("action32805"));
}

QtUtilitiesMenu::~QtUtilitiesMenu() {
    WaitForWorker();
}

void QtUtilitiesMenu::WaitForWorker() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void QtUtilitiesMenu::OpenMeasuringReceiver() {
    QtReceiverDialog::Open(doc_, parentWidget());
}

void QtUtilitiesMenu::RunHarmonicsPlot() {
    StartWorker([this] {
        const UtilitySession session(doc_);
        HarmonicsPlot plot(doc_, [this] {
            return doc_.GetPrompter().AskYesNo("Sweep Harmonics Again?", "Sweep Again?");
        });
        plot.Run();
    });
}

void QtUtilitiesMenu::StartWorker(std::function<void()> procedure) {
    if (workerRunning_.exchange(true)) {
        return;
    }
    WaitForWorker();  // the last one has ended; its thread is still to be joined
    SetItemsEnabled(false);
    worker_ = std::thread([this, procedure = std::move(procedure)] {
        procedure();
        workerRunning_ = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                SetItemsEnabled(true);
                Q_EMIT workerEnded();
            },
            Qt::QueuedConnection);
    });
}

void QtUtilitiesMenu::SetItemsEnabled(bool enabled) {
    receiver_->setEnabled(enabled);
    harmonics_->setEnabled(enabled);
}

}  // namespace tavlin
