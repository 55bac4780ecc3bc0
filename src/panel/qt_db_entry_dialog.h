#pragma once

#include <QDialog>

#include "ports/entry_dialogs.h"

class QLineEdit;

namespace tavlin {

class QtRefusalLabel;

// The dB entry ("Enter Value"): what it sets above one number, accepted with
// the default button captioned "dB" or with Enter. Any finite number is
// taken, or any above 0 for a scale; a percentage takes (0, 100) and its
// button reads "%".
class QtDbEntryDialog : public QDialog {
    Q_OBJECT
  public:
    QtDbEntryDialog(const QString& label, double start, DbRange range, QWidget* parent = nullptr);

    double ResultDb() const { return resultDb_; }

  private:
    void TryAccept();

    QLineEdit* number_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
    DbRange range_;
    double resultDb_ = 0.0;
};

}  // namespace tavlin
