#pragma once

#include <QDialog>
#include <memory>

#include "utilities/receiver/receiver_analysis.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace tavlin {

class AnalyzerDocument;
class InstrumentLease;
class MeasuringReceiver;

// "Audio Analysis": the measuring receiver's dialog. START runs the receiver
// on its worker, whose results replace the text after every pass; EXIT (or
// closing the window) lets the pass in progress end and waits for the
// worker before the dialog goes.
class QtReceiverDialog final : public QDialog {
    Q_OBJECT

  public:
    // The whole command behind MEAS RCVR and Utilities "Measuring Receiver":
    // the sweep is paused while the dialog is open, and the IF path, the
    // levels and the sweep come back after it.
    static void Open(AnalyzerDocument& document, QWidget* parent);

    QtReceiverDialog(InstrumentLease& instrument, QWidget* parent = nullptr);
    ~QtReceiverDialog() override;

    // What the controls say now.
    ReceiverControls Controls() const;
    QString ResultsText() const;
    bool Running() const;

  public Q_SLOTS:
    void OnStart();
    void OnCalRange();
    void done(int result) override;

  private:
    void BuildControls();
    void PassControlsOn();
    void ShowResults(const QString& text);

    std::unique_ptr<MeasuringReceiver> receiver_;
    QComboBox* bandwidth_ = nullptr;
    QRadioButton* lowPass_ = nullptr;
    QRadioButton* bandPass_ = nullptr;
    QLineEdit* lowPassCutoff_ = nullptr;
    QLineEdit* bandPassCentre_ = nullptr;
    QCheckBox* syncDetector_ = nullptr;
    QCheckBox* showFm_ = nullptr;
    QCheckBox* showAm_ = nullptr;
    QPlainTextEdit* results_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* calRange_ = nullptr;
};

}  // namespace tavlin
