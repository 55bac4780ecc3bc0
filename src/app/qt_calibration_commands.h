#pragma once

#include <QObject>
#include <memory>

class QMenu;
class QWidget;

namespace tavlin {

class AnalyzerDocument;
class EntryDialogs;
class GpibBus;
class QtUtilitiesMenu;
class QtWorkerEntryDialogs;
enum class Adjustment;

// The self test (Utilities) and the factory commands of the Advanced menu:
// the calibration report, the adjustments, and the calibration data's
// purge, store, comparison view and TCXO recalibration. The self test and
// the data commands are short (or wait on the user) and run on the GUI
// thread; the report and the
// adjustments sweep for minutes and run on the utilities' worker, one
// procedure at a time, so that the window keeps painting what they do.
class QtCalibrationCommands final : public QObject {
    Q_OBJECT

  public:
    QtCalibrationCommands(AnalyzerDocument& document, EntryDialogs& dialogs,
                          QtUtilitiesMenu& runner, QWidget* window);
    ~QtCalibrationCommands() override;

    void AddSelfTest(QMenu& utilities);
    void AddFactoryCommands(QMenu& advanced);
    // The bench of the report and the adjustments; linux-gpib unless told
    // otherwise (the virtual bench beside the virtual instrument).
    void UseBench(GpibBus& bus) { bus_ = &bus; }

  public Q_SLOTS:
    void RunSelfTest();
    void StartCalReport();
    void StartAdjustment(Adjustment which);
    void StartPhaseNoiseOnly();
    void StartAllAdjustments();
    void PurgeCalData();
    void StoreCalData();
    void ViewFlatnessCorrections();
    void RecalibrateTcxo();

  private:
    // False, with a beep, while a utility or procedure has the instrument.
    bool InstrumentFree();
    GpibBus& Bench();

    AnalyzerDocument& doc_;
    QtUtilitiesMenu& runner_;
    QWidget* window_;
    std::unique_ptr<QtWorkerEntryDialogs> workerDialogs_;
    std::unique_ptr<GpibBus> ownBus_;
    GpibBus* bus_ = nullptr;
};

}  // namespace tavlin
