#pragma once

#include <QDialog>

class QComboBox;

namespace tavlin {

// "ATTENUATOR SETTING": a drop-down list of 0, 5, 10 and 15 dB.
class QtAttenuatorDialog : public QDialog {
    Q_OBJECT
  public:
    // index 0 .. 3; anything outside is shown as the nearest entry.
    explicit QtAttenuatorDialog(int index, QWidget* parent = nullptr);

    int ResultIndex() const;

  private:
    QComboBox* atten_ = nullptr;
};

}  // namespace tavlin
