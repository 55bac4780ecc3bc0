#pragma once

#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace tavlin {

class QtRefusalLabel;

// "Zero Span Settings": the sweep time in ms (0.5 to 2000) and the detector,
// AM or FM, starting at AM. The "RBW (KHz)" field is shown empty and cannot
// be edited. OK or Enter accepts, Escape cancels.
class QtZeroSpanDialog : public QDialog {
    Q_OBJECT
  public:
    explicit QtZeroSpanDialog(double sweepTimeMs, QWidget* parent = nullptr);

    double ResultSweepTimeMs() const { return resultSweepTimeMs_; }
    bool ResultFm() const;

  private:
    void TryAccept();

    QLineEdit* sweepTime_ = nullptr;
    QRadioButton* fm_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
    double resultSweepTimeMs_ = 0.0;
};

}  // namespace tavlin
