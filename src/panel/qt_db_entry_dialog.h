#pragma once

#include <QDialog>

class QLineEdit;

namespace tavlin {

class QtRefusalLabel;

// The dB entry ("Enter Value"): one number, accepted with the default button
// captioned "dB" or with Enter. Any finite number is taken.
class QtDbEntryDialog : public QDialog {
    Q_OBJECT
  public:
    explicit QtDbEntryDialog(double start, QWidget* parent = nullptr);

    double ResultDb() const { return resultDb_; }

  private:
    void TryAccept();

    QLineEdit* number_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
    double resultDb_ = 0.0;
};

}  // namespace tavlin
