#include "app/qt_calibration_commands.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QUrl>

#include "app/qt_utilities_menu.h"
#include "app/qt_worker_entry_dialogs.h"
#include "calibration/adjustments.h"
#include "calibration/cal_maintenance.h"
#include "calibration/cal_report.h"
#include "calibration/flatness_view.h"
#include "calibration/linux_gpib_bus.h"
#include "calibration/self_test.h"
#include "document/analyzer_document.h"

namespace tavlin {

namespace {

constexpr const char* kReportFile = "caldata.txt";

// The comparison sets and the report live in the working folder, as on the
// factory's bench.
const std::filesystem::path kWorkFolder = ".";

}  // namespace

QtCalibrationCommands::QtCalibrationCommands(AnalyzerDocument& document, EntryDialogs& dialogs,
                                             QtUtilitiesMenu& runner, QWidget* window)
    : QObject(window),
      doc_(document),
      runner_(runner),
      window_(window),
      workerDialogs_(std::make_unique<QtWorkerEntryDialogs>(dialogs, *this)) {}

QtCalibrationCommands::~QtCalibrationCommands() = default;

void QtCalibrationCommands::AddSelfTest(QMenu& utilities) {
    utilities.addSeparator();
    utilities.addAction(QStringLiteral("Run Self Test"), this, &QtCalibrationCommands::RunSelfTest)
        ->setObjectName(QStringLiteral("actionRunSelfTest"));
}

void QtCalibrationCommands::AddFactoryCommands(QMenu& advanced) {
    advanced.addSeparator();
    advanced.addAction(QStringLiteral("Calibration"), this, &QtCalibrationCommands::StartCalReport)
        ->setObjectName(QStringLiteral("actionCalibration"));
    QMenu* adjustments = advanced.addMenu(QStringLiteral("Adjustments"));
    adjustments->setObjectName(QStringLiteral("adjustmentsMenu"));
    adjustments->addAction(QStringLiteral("High Band Flatness"), this,
                           [this] { StartAdjustment(Adjustment::HighBand); });
    adjustments->addAction(QStringLiteral("Low Band Flatness"), this,
                           [this] { StartAdjustment(Adjustment::LowBand); });
    adjustments->addAction(QStringLiteral("IF Response"), this,
                           [this] { StartAdjustment(Adjustment::IfResponse); });
    adjustments->addAction(QStringLiteral("Phase Noise Only"), this,
                           &QtCalibrationCommands::StartPhaseNoiseOnly);
    adjustments->addAction(QStringLiteral("DO ALL ADJUSTMENTS"), this,
                           &QtCalibrationCommands::StartAllAdjustments);
    advanced.addAction(QStringLiteral("Purge Cal Data"), this,
                       &QtCalibrationCommands::PurgeCalData);
    advanced.addAction(QStringLiteral("Store Cal Data"), this,
                       &QtCalibrationCommands::StoreCalData);
    advanced
        .addAction(QStringLiteral("ViewFlatness Corrections"), this,
                   &QtCalibrationCommands::ViewFlatnessCorrections)
        ->setObjectName(QStringLiteral("actionViewFlatness"));
    advanced.addAction(QStringLiteral("Recalibrate TCXO"), this,
                       &QtCalibrationCommands::RecalibrateTcxo);
}

bool QtCalibrationCommands::InstrumentFree() {
    if (runner_.WorkerRunning() || doc_.UtilityOwns()) {
        QApplication::beep();
        return false;
    }
    return true;
}

GpibBus& QtCalibrationCommands::Bench() {
    if (bus_ == nullptr) {
        ownBus_ = std::make_unique<LinuxGpibBus>();
        bus_ = ownBus_.get();
    }
    return *bus_;
}

void QtCalibrationCommands::RunSelfTest() {
    if (InstrumentFree()) {
        tavlin::RunSelfTest(doc_);
    }
}

// The report, once written, opens in the desktop's text viewer.
void QtCalibrationCommands::StartCalReport() {
    if (!InstrumentFree() || !ConfirmCalReport(doc_.GetPrompter())) {
        return;
    }
    GpibBus& bus = Bench();
    runner_.RunOnWorker([this, &bus] {
        const CalReportResult result = RunCalReport(doc_, bus, kWorkFolder / kReportFile);
        if (result.written) {
            QMetaObject::invokeMethod(
                this,
                [] {
                    QDesktopServices::openUrl(QUrl::fromLocalFile(
                        QDir::current().absoluteFilePath(QString::fromLatin1(kReportFile))));
                },
                Qt::QueuedConnection);
        }
    });
}

void QtCalibrationCommands::StartAdjustment(Adjustment which) {
    if (InstrumentFree()) {
        GpibBus& bus = Bench();
        runner_.RunOnWorker([this, &bus, which] { RunAdjustment(doc_, bus, which, kWorkFolder); });
    }
}

void QtCalibrationCommands::StartPhaseNoiseOnly() {
    if (InstrumentFree()) {
        runner_.RunOnWorker([this] { RunPhaseNoiseOnly(doc_); });
    }
}

void QtCalibrationCommands::StartAllAdjustments() {
    if (InstrumentFree()) {
        GpibBus& bus = Bench();
        runner_.RunOnWorker(
            [this, &bus] { AdjustAll(doc_, bus, kWorkFolder, workerDialogs_.get()); });
    }
}

void QtCalibrationCommands::PurgeCalData() {
    if (InstrumentFree()) {
        tavlin::PurgeCalData(doc_);
    }
}

void QtCalibrationCommands::StoreCalData() {
    if (InstrumentFree()) {
        tavlin::StoreCalData(doc_);
    }
}

void QtCalibrationCommands::ViewFlatnessCorrections() {
    if (InstrumentFree()) {
        tavlin::ViewFlatnessCorrections(doc_, kWorkFolder);
    }
}

void QtCalibrationCommands::RecalibrateTcxo() {
    if (InstrumentFree()) {
        tavlin::RecalibrateTcxo(doc_);
    }
}

}  // namespace tavlin
