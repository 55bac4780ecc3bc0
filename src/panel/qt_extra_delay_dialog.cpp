#include "panel/qt_extra_delay_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/entry_rules.h"
#include "panel/qt_refusal_label.h"

namespace tavlin {

QtExtraDelayDialog::QtExtraDelayDialog(int milliseconds, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Extra Delay");

    delay_ = new QLineEdit(QString::number(milliseconds), this);
    delay_->setAlignment(Qt::AlignRight);
    delay_->selectAll();
    refusal_ = new QtRefusalLabel(this);
    connect(delay_, &QLineEdit::textEdited, refusal_, &QtRefusalLabel::Clear);

    auto* msec = new QPushButton("msec", this);
    msec->setDefault(true);
    connect(msec, &QPushButton::clicked, this, &QtExtraDelayDialog::TryAccept);

    auto* row = new QHBoxLayout;
    row->addWidget(delay_);
    row->addWidget(msec);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(row);
    layout->addWidget(refusal_);
    delay_->setFocus();
}

void QtExtraDelayDialog::TryAccept() {
    const FieldCheck<int> check = CheckExtraDelay(delay_->text().toStdString());
    if (!check.value) {
        refusal_->Refuse(check.refusal, delay_);
        return;
    }
    resultMs_ = *check.value;
    accept();
}

}  // namespace tavlin
