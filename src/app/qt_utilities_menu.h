#pragma once

#include <QMenu>
#include <atomic>
#include <functional>
#include <thread>

class QAction;

namespace tavlin {

class AnalyzerDocument;
class EntryDialogs;

// The Utilities menu: the measurements that take the instrument over from
// the sweep. The measuring receiver is a modal dialog; the procedures that
// sweep on their own (phase noise, harmonics) run on a worker so the window
// keeps painting what they do. One utility at a time: the items are
// disabled while a worker runs. Channel Power and Occupied Bandwidth are no
// such utility: checkable items that measure trace A after every sweep.
class QtUtilitiesMenu final : public QMenu {
    Q_OBJECT

  public:
    QtUtilitiesMenu(AnalyzerDocument& document, EntryDialogs& dialogs, QWidget* parent = nullptr);
    // Waits for a running procedure: its message boxes are released when
    // the program closes, so it ends after its sweep in progress.
    ~QtUtilitiesMenu() override;

    QAction* HarmonicsAction() const { return harmonics_; }
    QAction* PhaseNoiseAction() const { return phaseNoise_; }
    QAction* ChannelPowerAction() const { return channelPower_; }
    QAction* OccupiedBandwidthAction() const { return occupiedBandwidth_; }
    // A procedure still drives the instrument (the harmonics' sweeps, the
    // phase-noise sweeps or its plot).
    bool WorkerRunning() const;
    void WaitForWorker();

  Q_SIGNALS:
    // A procedure's worker has ended and the items are enabled again.
    void workerEnded();

  public Q_SLOTS:
    void OpenMeasuringReceiver();
    void RunPhaseNoisePlot();
    void RunHarmonicsPlot();
    // Turning a measurement on asks its setting (the channel's bandwidth,
    // the share of power); Cancel leaves it off. Turning it off asks nothing.
    void SetChannelPower(bool on);
    void SetOccupiedBandwidth(bool on);

    // Runs a procedure on the worker, one at a time: false (and nothing
    // runs) while another utility or procedure has the instrument. The
    // items come back, and workerEnded is emitted, when it ends.
    bool RunOnWorker(std::function<void()> procedure);

  private:
    void SetItemsEnabled(bool enabled);
    // The check marks follow the document, whoever changed it.
    void ShowMeasurementsOn();

    // The phase-noise plot runs its own worker; its end is seen by polling.
    void WatchPhaseNoisePlot();

    AnalyzerDocument& doc_;
    EntryDialogs& dialogs_;
    QAction* receiver_ = nullptr;
    QAction* phaseNoise_ = nullptr;
    QAction* harmonics_ = nullptr;
    QAction* channelPower_ = nullptr;
    QAction* occupiedBandwidth_ = nullptr;
    std::thread worker_;
    std::atomic<bool> workerRunning_{false};
};

}  // namespace tavlin
