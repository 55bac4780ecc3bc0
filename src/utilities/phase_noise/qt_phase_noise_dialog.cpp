#include "utilities/phase_noise/qt_phase_noise_dialog.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>

#include "base/plot_bitmap.h"
#include "document/analyzer_document.h"
#include "ports/entry_dialogs.h"
#include "utilities/phase_noise/phase_noise_procedure.h"
#include "utilities/phase_noise/qt_phase_noise_painter.h"

namespace tavlin {

namespace {

constexpr double kReferenceStepDb = 10.0;
constexpr double kHighestReference = 0.0;

std::atomic<bool> running{false};

}  // namespace

QtPhaseNoisePlot::QtPhaseNoisePlot(const PhaseNoiseCurve& curve, const double& reference,
                                   const std::string& title, QWidget* parent)
    : QWidget(parent), curve_(curve), reference_(reference), title_(title) {
    setFixedSize(QtPhaseNoisePainter::kWidth, QtPhaseNoisePainter::kHeight);
}

void QtPhaseNoisePlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QtPhaseNoisePainter(curve_, reference_, title_).Paint(painter);
}

QtPhaseNoiseDialog::QtPhaseNoiseDialog(const PhaseNoiseSweeps& sweeps, EntryDialogs& entries,
                                       QWidget* parent)
    : QDialog(parent), curve_(sweeps), entries_(entries), title_(sweeps.title) {
    setWindowTitle("Phase Noise Plot");
    plot_ = new QtPhaseNoisePlot(curve_, reference_, title_, this);
    auto* plus = new QPushButton("+", this);
    auto* minus = new QPushButton("-", this);
    referenceEdit_ = new QLineEdit(this);
    referenceEdit_->setReadOnly(true);
    referenceEdit_->setObjectName("reference");
    auto* title = new QPushButton("Add Title", this);
    auto* save = new QPushButton("SAVE PLOT", this);
    plus->setAutoDefault(false);
    minus->setAutoDefault(false);
    title->setAutoDefault(false);
    save->setAutoDefault(false);
    auto* controls = new QHBoxLayout;
    controls->addWidget(plus);
    controls->addWidget(minus);
    controls->addWidget(referenceEdit_);
    controls->addStretch();
    controls->addWidget(title);
    controls->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(plot_);
    layout->addLayout(controls);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(plus, &QPushButton::clicked, this, &QtPhaseNoiseDialog::RaiseReference);
    connect(minus, &QPushButton::clicked, this, &QtPhaseNoiseDialog::LowerReference);
    connect(title, &QPushButton::clicked, this, &QtPhaseNoiseDialog::AddTitle);
    connect(save, &QPushButton::clicked, this, &QtPhaseNoiseDialog::SavePlot);
    ShowReference();
}

QString QtPhaseNoiseDialog::ReferenceText() const {
    return QString::asprintf("%.0f dBc/Hz", reference_);
}

void QtPhaseNoiseDialog::ShowReference() {
    referenceEdit_->setText(ReferenceText());
    plot_->update();
}

void QtPhaseNoiseDialog::RaiseReference() {
    if (reference_ < kHighestReference) {
        reference_ += kReferenceStepDb;
    }
    ShowReference();
}

void QtPhaseNoiseDialog::LowerReference() {
    reference_ -= kReferenceStepDb;
    ShowReference();
}

void QtPhaseNoiseDialog::AddTitle() {
    if (const std::optional<std::string> title = entries_.EnterTitle(title_)) {
        title_ = *title;
        plot_->update();
    }
}

std::string QtPhaseNoiseDialog::SavePlotTo(const std::string& path) const {
    PlotImage image = QtPhaseNoisePainter(curve_, reference_, title_).RenderPlotImage();
    RecolourForPrint(image);
    return WritePlotBitmap(image, path);
}

void QtPhaseNoiseDialog::SavePlot() {
    QFileDialog dialog(this, QString(), "PhaseNoise", "BMP files (*.bmp);;All Files (*)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("bmp");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const std::string failed = SavePlotTo(dialog.selectedFiles().front().toStdString());
    if (!failed.empty()) {
        QMessageBox::warning(this, "ERROR", QString::fromStdString(failed));
    }
}

bool PhaseNoisePlotRunning() {
    return running.load();
}

void StartPhaseNoisePlot(AnalyzerDocument& document, EntryDialogs& entries, QWidget* parent) {
    if (running.exchange(true)) {
        return;
    }
    QPointer<QWidget> owner(parent);
    QObject* gui = QCoreApplication::instance();
    QThread* worker = QThread::create([&document, &entries, owner, gui] {
        PhaseNoiseSweeps kept;
        RunPhaseNoiseProcedure(document,
                               [&kept](const PhaseNoiseSweeps& sweeps) { kept = sweeps; });
        // The analyzer is back before the plot opens. A panel command pressed
        // during the sweeps waits on the GUI thread for the sweep's pause; a
        // worker that held the pause until the plot closed would wait for a
        // plot that only that thread can show.
        QMetaObject::invokeMethod(
            gui,
            [kept, &entries, owner] {
                QtPhaseNoiseDialog dialog(kept, entries, owner.data());
                dialog.exec();
                running = false;
            },
            Qt::QueuedConnection);
    });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

}  // namespace tavlin
