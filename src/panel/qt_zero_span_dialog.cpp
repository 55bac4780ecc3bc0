#include "panel/qt_zero_span_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "panel/entry_rules.h"
#include "panel/qt_refusal_label.h"

namespace tavlin {

namespace {
// Leaves room for the range message on two short lines at most.
constexpr int kFieldWidth = 170;
}  // namespace

QtZeroSpanDialog::QtZeroSpanDialog(double sweepTimeMs, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Zero Span Settings");

    sweepTime_ = new QLineEdit(QString::fromStdString(FormatNumberField(sweepTimeMs)), this);
    sweepTime_->setAlignment(Qt::AlignRight);
    sweepTime_->setMinimumWidth(kFieldWidth);
    sweepTime_->selectAll();
    auto* rbw = new QLineEdit(this);
    rbw->setReadOnly(true);
    rbw->setFocusPolicy(Qt::NoFocus);
    QPalette readOnly = rbw->palette();
    readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
    rbw->setPalette(readOnly);
    refusal_ = new QtRefusalLabel(this);
    connect(sweepTime_, &QLineEdit::textEdited, refusal_, &QtRefusalLabel::Clear);

    auto* am = new QRadioButton("AM", this);
    am->setChecked(true);
    fm_ = new QRadioButton("FM", this);
    auto* detector = new QHBoxLayout;
    detector->addWidget(am);
    detector->addWidget(fm_);
    detector->addStretch();

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QtZeroSpanDialog::TryAccept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* fields = new QFormLayout;
    fields->addRow("Sweep Time (ms)", sweepTime_);
    fields->addRow("RBW (KHz)", rbw);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(fields);
    layout->addWidget(refusal_);
    layout->addLayout(detector);
    layout->addLayout(buttons);
    sweepTime_->setFocus();
}

bool QtZeroSpanDialog::ResultFm() const {
    return fm_->isChecked();
}

void QtZeroSpanDialog::TryAccept() {
    const FieldCheck<double> check = CheckZeroSpanSweepTime(sweepTime_->text().toStdString());
    if (!check.value) {
        refusal_->Refuse(check.refusal, sweepTime_);
        return;
    }
    resultSweepTimeMs_ = *check.value;
    accept();
}

}  // namespace tavlin
