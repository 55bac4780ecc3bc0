#include "panel/qt_ratio_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/entry_rules.h"
#include "panel/qt_refusal_label.h"

namespace tavlin {

namespace {
const char* const kRatios[] = {"160", "80", "40", "20", "10", "5", "2", "1"};
// Wide enough for the title to show in the window's frame.
constexpr int kListWidth = 150;
}  // namespace

QtRatioDialog::QtRatioDialog(double ratio, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Span / RBW ratio");

    ratio_ = new QComboBox(this);
    ratio_->setEditable(true);
    ratio_->setMinimumWidth(kListWidth);
    ratio_->setInsertPolicy(QComboBox::NoInsert);
    for (const char* entry : kRatios) {
        ratio_->addItem(entry);
    }
    ratio_->setEditText(QString::fromStdString(FormatSpanRbwRatio(ratio)));
    ratio_->lineEdit()->selectAll();
    refusal_ = new QtRefusalLabel(this);
    connect(ratio_, &QComboBox::editTextChanged, refusal_, &QtRefusalLabel::Clear);

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QtRatioDialog::TryAccept);

    auto* row = new QHBoxLayout;
    row->addWidget(ratio_, 1);
    row->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(row);
    layout->addWidget(refusal_);
    ratio_->setFocus();
}

void QtRatioDialog::TryAccept() {
    const FieldCheck<double> check = CheckSpanRbwRatio(ratio_->currentText().toStdString());
    if (!check.value) {
        refusal_->Refuse(check.refusal, ratio_);
        return;
    }
    resultRatio_ = *check.value;
    accept();
}

}  // namespace tavlin
