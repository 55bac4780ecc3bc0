#include "panel/qt_db_entry_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/entry_rules.h"
#include "panel/qt_refusal_label.h"

namespace tavlin {

QtDbEntryDialog::QtDbEntryDialog(const QString& label, double start, DbRange range, QWidget* parent)
    : QDialog(parent), range_(range) {
    setWindowTitle("Enter Value");

    auto* caption = new QLabel(label, this);
    caption->setAlignment(Qt::AlignCenter);
    number_ = new QLineEdit(QString::fromStdString(FormatNumberField(start)), this);
    number_->setAlignment(Qt::AlignRight);
    number_->selectAll();
    refusal_ = new QtRefusalLabel(this);
    connect(number_, &QLineEdit::textEdited, refusal_, &QtRefusalLabel::Clear);

    auto* db = new QPushButton(range == DbRange::Percent ? "%" : "dB", this);
    db->setDefault(true);
    connect(db, &QPushButton::clicked, this, &QtDbEntryDialog::TryAccept);

    auto* row = new QHBoxLayout;
    row->addWidget(number_);
    row->addWidget(db);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(caption);
    layout->addLayout(row);
    layout->addWidget(refusal_);
    number_->setFocus();
}

void QtDbEntryDialog::TryAccept() {
    const std::string text = number_->text().toStdString();
    FieldCheck<double> check = CheckNumberEntry(text);
    if (range_ == DbRange::AboveZero) {
        check = CheckNumberAboveZero(text);
    } else if (range_ == DbRange::Percent) {
        check = CheckPercentEntry(text);
    }
    if (!check.value) {
        refusal_->Refuse(check.refusal, number_);
        return;
    }
    resultDb_ = *check.value;
    accept();
}

}  // namespace tavlin
