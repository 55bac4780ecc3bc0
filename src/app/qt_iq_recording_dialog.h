#pragma once

#include <QDialog>

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tavlin {

class AnalyzerDocument;

// File > Record I/Q...: a SigMF pair of the raw captures the sweep takes
// (zero span and spans up to 200 kHz), for a length or until stopped. While
// it records, the bar shows the time done (it runs on and on until stopped)
// and the label what has been written; a recording that a full disk or a
// pulled drive ended is told in a message box. Modeless: the analyzer goes
// on sweeping behind it.
class QtIqRecordingDialog final : public QDialog {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Record I/Q";
    static constexpr const char* kFailedCaption = "I/Q RECORDING STOPPED";

    QtIqRecordingDialog(AnalyzerDocument& document, QWidget* parent);

    // Starts recording to `path` for `seconds` (0: until stopped); false
    // when refused, the reason shown.
    bool StartRecording(const QString& path, double seconds);
    void StopRecording();

  private:
    void BuildLayout();
    void OnBrowse();
    void OnStart();
    void Refresh();

    AnalyzerDocument& doc_;
    QLineEdit* file_ = nullptr;
    QRadioButton* forLength_ = nullptr;
    QRadioButton* untilStopped_ = nullptr;
    QDoubleSpinBox* seconds_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* written_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QTimer* poll_ = nullptr;
    bool failureTold_ = true;  // nothing to tell until a recording starts
};

}  // namespace tavlin
