#pragma once

#include <QDialog>

class QLineEdit;

namespace tavlin {

class QtRefusalLabel;

// "Extra Delay": a whole number of milliseconds, 0 to 5000, accepted with the
// default button captioned "msec" or with Enter.
class QtExtraDelayDialog : public QDialog {
    Q_OBJECT
  public:
    explicit QtExtraDelayDialog(int milliseconds, QWidget* parent = nullptr);

    int ResultMs() const { return resultMs_; }

  private:
    void TryAccept();

    QLineEdit* delay_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
    int resultMs_ = 0;
};

}  // namespace tavlin
