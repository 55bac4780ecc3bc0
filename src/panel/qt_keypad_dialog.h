#pragma once

#include <QDialog>
#include <optional>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace tavlin {

class QtRefusalLabel;

// The calculator keypad ("Enter Value") for a frequency. The starting value
// is shown scaled to its unit, whose button is the default; the digit buttons
// type into the number field (the first of them clears it), and a unit button
// both chooses the unit and accepts. Enter accepts in the starting unit, Hz
// when there was no starting value; a unit typed after the number ("915M")
// goes before either. Escape cancels.
class QtKeypadDialog : public QDialog {
    Q_OBJECT
  public:
    QtKeypadDialog(const QString& label, std::optional<double> startHz, QWidget* parent = nullptr);

    // The accepted frequency in Hz.
    double ResultHz() const { return resultHz_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void AddDigitButtons(QGridLayout* grid);
    QPushButton* AddUnitButton(QVBoxLayout* column, const char* caption, int exponent);
    void PressDigit(const QString& digit);
    void AcceptInUnit(int exponent);

    QLineEdit* number_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
    int startExponent_ = 0;
    bool firstKey_ = true;
    double resultHz_ = 0.0;
};

}  // namespace tavlin
