#include "app/qt_utilities_menu.h"

#include <QAction>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "base/bounded_format.h"
#include "base/reading_flag.h"
#include "document/analyzer_document.h"
#include "ports/entry_dialogs.h"
#include "ports/prompter.h"
#include "utilities/harmonics/harmonics_plot.h"
#include "utilities/phase_noise/qt_phase_noise_dialog.h"
#include "utilities/receiver/qt_receiver_dialog.h"
#include "utilities/utility_session.h"

namespace tavlin {

namespace {

constexpr int kWatchMs = 100;

}  // namespace

QtUtilitiesMenu::QtUtilitiesMenu(AnalyzerDocument& document, EntryDialogs& dialogs, QWidget* parent)
    : QMenu(QStringLiteral("&Utilities"), parent), doc_(document), dialogs_(dialogs) {
    setObjectName(QStringLiteral("utilitiesMenu"));
    receiver_ = addAction(QStringLiteral("Measuring Receiver"), this,
                          &QtUtilitiesMenu::OpenMeasuringReceiver);
    receiver_->setObjectName(QStringLiteral("action32810"));
    phaseNoise_ =
        addAction(QStringLiteral("Phase Noise Plot"), this, &QtUtilitiesMenu::RunPhaseNoisePlot);
    phaseNoise_->setObjectName(QStringLiteral("action32790"));
    harmonics_ =
        addAction(QStringLiteral("Harmonics Plot"), this, &QtUtilitiesMenu::RunHarmonicsPlot);
    harmonics_->setObjectName(QStringLiteral("action32805"));
    addSeparator();
    channelPower_ =
        addAction(QStringLiteral("Channel Power"), this, &QtUtilitiesMenu::SetChannelPower);
    channelPower_->setObjectName(QStringLiteral("channelPowerAction"));
    channelPower_->setCheckable(true);
    occupiedBandwidth_ = addAction(QStringLiteral("Occupied Bandwidth"), this,
                                   &QtUtilitiesMenu::SetOccupiedBandwidth);
    occupiedBandwidth_->setObjectName(QStringLiteral("occupiedBandwidthAction"));
    occupiedBandwidth_->setCheckable(true);
    connect(this, &QMenu::aboutToShow, this, &QtUtilitiesMenu::ShowMeasurementsOn);
}

QtUtilitiesMenu::~QtUtilitiesMenu() {
    WaitForWorker();
}

bool QtUtilitiesMenu::WorkerRunning() const {
    return workerRunning_.load() || PhaseNoisePlotRunning();
}

void QtUtilitiesMenu::WaitForWorker() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void QtUtilitiesMenu::OpenMeasuringReceiver() {
    QtReceiverDialog::Open(doc_, parentWidget());
}

void QtUtilitiesMenu::RunPhaseNoisePlot() {
    if (WorkerRunning()) {
        return;
    }
    StartPhaseNoisePlot(doc_, dialogs_, parentWidget());
    SetItemsEnabled(false);
    WatchPhaseNoisePlot();
}

void QtUtilitiesMenu::WatchPhaseNoisePlot() {
    QTimer::singleShot(kWatchMs, this, [this] {
        if (PhaseNoisePlotRunning()) {
            WatchPhaseNoisePlot();
            return;
        }
        SetItemsEnabled(true);
        Q_EMIT workerEnded();
    });
}

void QtUtilitiesMenu::RunHarmonicsPlot() {
    RunOnWorker([this] {
        const UtilitySession session(doc_);
        HarmonicsPlot plot(doc_, [this] {
            return doc_.GetPrompter().AskYesNo("Sweep Harmonics Again?", "Sweep Again?");
        });
        const std::vector<HarmonicReading> readings = plot.Run();
        const auto beyond = std::find_if(readings.begin(), readings.end(),
                                         [](const HarmonicReading& h) { return !h.swept; });
        if (beyond != readings.end()) {
            // Their segments lie on the bottom line only because nothing was swept there.
            doc_.GetPrompter().Inform(
                FormatText("Harmonics %d to %d lie beyond 4.4 GHz: %s", beyond->n,
                           HarmonicsPlot::kHarmonics,
                           std::string(ReadingFlagWord(ReadingFlag::kNotMeasured)).c_str()),
                "Harmonics Plot");
        }
    });
}

void QtUtilitiesMenu::SetChannelPower(bool on) {
    TraceMeasurementSettings settings = doc_.TraceMeasurements();
    if (on) {
        const double spanHz = doc_.Settings().stopFreqHz - doc_.Settings().startFreqHz;
        const std::optional<double> bandwidthHz =
            dialogs_.EnterFrequency("Channel Bandwidth", spanHz / 2.0);
        const bool usable = bandwidthHz && *bandwidthHz > 0.0;
        if (bandwidthHz && !usable) {
            doc_.GetPrompter().Inform("The channel bandwidth must be greater than 0 Hz.",
                                      "Channel Power");
        }
        if (!usable) {
            ShowMeasurementsOn();
            return;
        }
        settings.channelBandwidthHz = *bandwidthHz;
    }
    settings.channelPowerOn = on;
    doc_.SetTraceMeasurements(settings);
    ShowMeasurementsOn();
}

void QtUtilitiesMenu::SetOccupiedBandwidth(bool on) {
    TraceMeasurementSettings settings = doc_.TraceMeasurements();
    if (on) {
        const std::optional<double> percent =
            dialogs_.EnterDb("Occupied Bandwidth %", settings.occupiedPercent, DbRange::Percent);
        if (!percent) {
            ShowMeasurementsOn();
            return;
        }
        settings.occupiedPercent = *percent;
    }
    settings.occupiedBandwidthOn = on;
    doc_.SetTraceMeasurements(settings);
    ShowMeasurementsOn();
}

void QtUtilitiesMenu::ShowMeasurementsOn() {
    const TraceMeasurementSettings settings = doc_.TraceMeasurements();
    channelPower_->setChecked(settings.channelPowerOn);
    occupiedBandwidth_->setChecked(settings.occupiedBandwidthOn);
}

bool QtUtilitiesMenu::RunOnWorker(std::function<void()> procedure) {
    if (PhaseNoisePlotRunning() || workerRunning_.exchange(true)) {
        return false;
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
    return true;
}

void QtUtilitiesMenu::SetItemsEnabled(bool enabled) {
    receiver_->setEnabled(enabled);
    phaseNoise_->setEnabled(enabled);
    harmonics_->setEnabled(enabled);
}

}  // namespace tavlin
