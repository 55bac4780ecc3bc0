#include "panel/qt_title_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavlin {

namespace {
constexpr int kTitleFieldWidth = 320;
}

QtTitleDialog::QtTitleDialog(const std::string& start, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Set Title");

    title_ = new QLineEdit(QString::fromStdString(start), this);
    title_->setMinimumWidth(kTitleFieldWidth);
    title_->selectAll();

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(title_);
    layout->addLayout(buttons);
    title_->setFocus();
}

std::string QtTitleDialog::ResultText() const {
    return title_->text().toStdString();
}

}  // namespace tavlin
