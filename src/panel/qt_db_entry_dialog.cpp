#include "panel/qt_db_entry_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/entry_rules.h"
#include "panel/qt_refusal_label.h"

namespace tavlin {

QtDbEntryDialog::QtDbEntryDialog(double start, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Enter Value");

    number_ = new QLineEdit(QString::fromStdString(FormatNumberField(start)), this);
    number_->setAlignment(Qt::AlignRight);
    number_->selectAll();
    refusal_ = new QtRefusalLabel(this);
    connect(number_, &QLineEdit::textEdited, refusal_, &QtRefusalLabel::Clear);

    auto* db = new QPushButton("dB", this);
    db->setDefault(true);
    connect(db, &QPushButton::clicked, this, &QtDbEntryDialog::TryAccept);

    auto* row = new QHBoxLayout;
    row->addWidget(number_);
    row->addWidget(db);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(row);
    layout->addWidget(refusal_);
    number_->setFocus();
}

void QtDbEntryDialog::TryAccept() {
    const FieldCheck<double> check = CheckNumberEntry(number_->text().toStdString());
    if (!check.value) {
        refusal_->Refuse(check.refusal, number_);
        return;
    }
    resultDb_ = *check.value;
    accept();
}

}  // namespace tavlin
