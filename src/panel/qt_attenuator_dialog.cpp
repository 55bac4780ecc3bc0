#include "panel/qt_attenuator_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace tavlin {

namespace {
const char* const kSteps[] = {"0", "5", "10", "15"};
constexpr int kLastIndex = 3;
// Wide enough for the title to show in the window's frame.
constexpr int kListWidth = 90;
}  // namespace

QtAttenuatorDialog::QtAttenuatorDialog(int index, QWidget* parent) : QDialog(parent) {
    setWindowTitle("ATTENUATOR SETTING");

    atten_ = new QComboBox(this);
    for (const char* step : kSteps) {
        atten_->addItem(step);
    }
    atten_->setMinimumWidth(kListWidth);
    atten_->setCurrentIndex(std::clamp(index, 0, kLastIndex));

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QHBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(atten_);
    layout->addWidget(new QLabel("dB", this));
    layout->addSpacing(12);
    layout->addWidget(ok);
    atten_->setFocus();
}

int QtAttenuatorDialog::ResultIndex() const {
    return atten_->currentIndex();
}

}  // namespace tavlin
