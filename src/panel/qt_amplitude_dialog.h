#pragma once

#include <QDialog>

#include "panel/entry_rules.h"

class QLineEdit;

namespace tavlin {

class QtRefusalLabel;

// The amplitude entry ("Enter Value"): one number and the unit buttons
// "dBm", "mV" and "dBmV", each of which converts the number to dBm and
// accepts. Enter takes the number as dBm; Escape cancels.
class QtAmplitudeDialog : public QDialog {
    Q_OBJECT
  public:
    QtAmplitudeDialog(const QString& label, double startDbm, QWidget* parent = nullptr);

    // The accepted level in dBm.
    double ResultDbm() const { return resultDbm_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void AcceptInUnit(AmplitudeUnit unit);

    QLineEdit* number_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
    double resultDbm_ = 0.0;
};

}  // namespace tavlin
