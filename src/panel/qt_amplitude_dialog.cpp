#include "panel/qt_amplitude_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/qt_entry_keys.h"
#include "panel/qt_refusal_label.h"

namespace tavlin {

namespace {

struct Unit {
    const char* caption;
    AmplitudeUnit unit;
};
constexpr Unit kUnits[] = {
    {"dBm", AmplitudeUnit::Dbm}, {"mV", AmplitudeUnit::Mv}, {"dBmV", AmplitudeUnit::Dbmv}};

constexpr int kButtonWidth = 64;
constexpr int kButtonHeight = 32;

}  // namespace

QtAmplitudeDialog::QtAmplitudeDialog(const QString& label, double startDbm, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Enter Value");

    auto* caption = new QLabel(label, this);
    caption->setAlignment(Qt::AlignCenter);
    number_ = new QLineEdit(QString::fromStdString(FormatNumberField(startDbm)), this);
    number_->setAlignment(Qt::AlignRight);
    number_->selectAll();
    refusal_ = new QtRefusalLabel(this);
    connect(number_, &QLineEdit::textEdited, refusal_, &QtRefusalLabel::Clear);

    auto* units = new QHBoxLayout;
    for (const Unit& unit : kUnits) {
        auto* button = new QPushButton(unit.caption, this);
        button->setFocusPolicy(Qt::TabFocus);
        button->setAutoDefault(false);
        button->setFixedSize(kButtonWidth, kButtonHeight);
        const AmplitudeUnit chosen = unit.unit;
        connect(button, &QPushButton::clicked, this, [this, chosen] { AcceptInUnit(chosen); });
        units->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(caption);
    layout->addWidget(number_);
    layout->addWidget(refusal_);
    layout->addLayout(units);
    number_->setFocus();
}

void QtAmplitudeDialog::AcceptInUnit(AmplitudeUnit unit) {
    const FieldCheck<double> check = CheckAmplitudeEntry(number_->text().toStdString(), unit);
    if (!check.value) {
        refusal_->Refuse(check.refusal, number_);
        return;
    }
    resultDbm_ = *check.value;
    accept();
}

void QtAmplitudeDialog::keyPressEvent(QKeyEvent* event) {
    if (IsEnterKey(*event)) {
        AcceptInUnit(AmplitudeUnit::Dbm);
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tavlin
