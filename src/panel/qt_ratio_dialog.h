#pragma once

#include <QDialog>

class QComboBox;

namespace tavlin {

class QtRefusalLabel;

// "Span / RBW ratio": an editable list of the usual ratios; any number above
// 0 typed into it is taken as well.
class QtRatioDialog : public QDialog {
    Q_OBJECT
  public:
    explicit QtRatioDialog(double ratio, QWidget* parent = nullptr);

    double ResultRatio() const { return resultRatio_; }

  private:
    void TryAccept();

    QComboBox* ratio_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
    double resultRatio_ = 0.0;
};

}  // namespace tavlin
