#include "panel/qt_keypad_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/entry_rules.h"
#include "panel/qt_entry_keys.h"
#include "panel/qt_refusal_label.h"

namespace tavlin {

namespace {

struct Unit {
    const char* caption;
    int exponent;
};
constexpr Unit kUnits[] = {{"GHz", 3}, {"MHz", 2}, {"KHz", 1}, {"Hz", 0}};

// The digits as on a calculator: 7 8 9 on top, 0 and the point at the bottom.
constexpr const char* kDigitRows[][3] = {
    {"7", "8", "9"}, {"4", "5", "6"}, {"1", "2", "3"}, {"0", ".", nullptr}};

constexpr int kKeySize = 40;

}  // namespace

QtKeypadDialog::QtKeypadDialog(const QString& label, std::optional<double> startHz, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Enter Value");

    auto* caption = new QLabel(label, this);
    caption->setAlignment(Qt::AlignCenter);
    number_ = new QLineEdit(this);
    number_->setAlignment(Qt::AlignRight);
    refusal_ = new QtRefusalLabel(this);

    const KeypadStart start = ScaleKeypadStart(startHz.value_or(0.0));
    startExponent_ = start.exponent;
    number_->setText(QString::fromStdString(FormatNumberField(start.number)));
    number_->selectAll();
    connect(number_, &QLineEdit::textEdited, refusal_, &QtRefusalLabel::Clear);

    auto* digits = new QGridLayout;
    AddDigitButtons(digits);
    auto* units = new QVBoxLayout;
    for (const Unit& unit : kUnits) {
        QPushButton* button = AddUnitButton(units, unit.caption, unit.exponent);
        // Without a starting value no unit is offered as the default.
        button->setDefault(startHz.has_value() && unit.exponent == startExponent_);
    }
    units->addStretch();

    auto* keys = new QHBoxLayout;
    keys->addLayout(digits);
    keys->addSpacing(8);
    keys->addLayout(units);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(caption);
    layout->addWidget(number_);
    layout->addWidget(refusal_);
    layout->addLayout(keys);
    number_->setFocus();
}

void QtKeypadDialog::AddDigitButtons(QGridLayout* grid) {
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            const char* digit = kDigitRows[row][column];
            if (digit == nullptr) {
                continue;
            }
            auto* button = new QPushButton(digit, this);
            // The field keeps the focus, so Enter still accepts after a click.
            button->setFocusPolicy(Qt::NoFocus);
            button->setAutoDefault(false);
            button->setFixedSize(kKeySize, kKeySize);
            connect(button, &QPushButton::clicked, this, [this, digit] { PressDigit(digit); });
            grid->addWidget(button, row, column);
        }
    }
}

QPushButton* QtKeypadDialog::AddUnitButton(QVBoxLayout* column, const char* caption, int exponent) {
    auto* button = new QPushButton(caption, this);
    button->setFocusPolicy(Qt::TabFocus);
    button->setAutoDefault(false);
    button->setFixedSize(2 * kKeySize, kKeySize);
    connect(button, &QPushButton::clicked, this, [this, exponent] { AcceptInUnit(exponent); });
    column->addWidget(button);
    return button;
}

void QtKeypadDialog::PressDigit(const QString& digit) {
    if (firstKey_) {
        number_->clear();
        firstKey_ = false;
    }
    number_->setText(number_->text() + digit);
    refusal_->Clear();
}

void QtKeypadDialog::AcceptInUnit(int exponent) {
    const FieldCheck<double> check = CheckKeypadEntry(number_->text().toStdString(), exponent);
    if (!check.value) {
        refusal_->Refuse(check.refusal, number_);
        return;
    }
    resultHz_ = *check.value;
    accept();
}

void QtKeypadDialog::keyPressEvent(QKeyEvent* event) {
    if (IsEnterKey(*event)) {
        AcceptInUnit(startExponent_);
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tavlin
