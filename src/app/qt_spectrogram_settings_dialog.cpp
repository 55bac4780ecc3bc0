#include "app/qt_spectrogram_settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "panel/qt_refusal_label.h"

namespace tavlin {

namespace {

QDoubleSpinBox* LevelField(double dbm, const QString& name, QWidget* parent) {
    auto* field = new QDoubleSpinBox(parent);
    field->setObjectName(name);
    field->setRange(WaterfallSettings::kLowestDbm, WaterfallSettings::kHighestDbm);
    field->setDecimals(1);
    field->setSingleStep(5.0);
    field->setValue(dbm);
    return field;
}

}  // namespace

QtSpectrogramSettingsDialog::QtSpectrogramSettingsDialog(const WaterfallSettings& settings,
                                                         QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Spectrogram Settings"));
    lineHeight_ = new QComboBox(this);
    lineHeight_->setObjectName(QStringLiteral("lineHeight"));
    lineHeight_->addItem(QStringLiteral("Fit"), WaterfallSettings::kFit);
    for (int pixels = 1; pixels <= WaterfallSettings::kMaxLineHeight; ++pixels) {
        lineHeight_->addItem(QStringLiteral("%1 px").arg(pixels), pixels);
    }
    lineHeight_->setCurrentIndex(lineHeight_->findData(settings.lineHeight));

    historyLines_ = new QSpinBox(this);
    historyLines_->setObjectName(QStringLiteral("historyLines"));
    historyLines_->setRange(static_cast<int>(SpectrogramHistory::kMinCapacity),
                            static_cast<int>(SpectrogramHistory::kMaxCapacity));
    historyLines_->setSingleStep(50);
    historyLines_->setSuffix(QStringLiteral(" sweeps"));
    historyLines_->setValue(static_cast<int>(settings.historyLines));
    memory_ = new QLabel(this);
    connect(historyLines_, &QSpinBox::valueChanged, this, &QtSpectrogramSettingsDialog::ShowMemory);

    auto* automatic = new QRadioButton(QStringLiteral("Automatic"), this);
    manual_ = new QRadioButton(QStringLiteral("Manual"), this);
    manual_->setObjectName(QStringLiteral("manualColours"));
    (settings.manualColours ? manual_ : automatic)->setChecked(true);
    connect(manual_, &QRadioButton::toggled, this, &QtSpectrogramSettingsDialog::EnableLevels);
    auto* range = new QHBoxLayout;
    range->addWidget(automatic);
    range->addWidget(manual_);
    range->addStretch();
    bottom_ = LevelField(settings.bottomDbm, QStringLiteral("bottomDbm"), this);
    top_ = LevelField(settings.topDbm, QStringLiteral("topDbm"), this);
    refusal_ = new QtRefusalLabel(this);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Line height"), lineHeight_);
    fields->addRow(QStringLiteral("History length"), historyLines_);
    fields->addRow(QString(), memory_);
    fields->addRow(QStringLiteral("Colour range"), range);
    fields->addRow(QStringLiteral("Top (dBm)"), top_);
    fields->addRow(QStringLiteral("Bottom (dBm)"), bottom_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QtSpectrogramSettingsDialog::TryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(fields);
    layout->addWidget(refusal_);
    layout->addWidget(buttons);
    ShowMemory();
    EnableLevels();
}

// The history and the picture drawn from it grow with the length: the user
// sees what a long history costs before choosing it.
void QtSpectrogramSettingsDialog::ShowMemory() {
    const double megabytes =
        WaterfallSettings::MegabytesFor(static_cast<std::size_t>(historyLines_->value()));
    memory_->setText(QStringLiteral("about %1 MB of memory").arg(megabytes, 0, 'f', 1));
}

void QtSpectrogramSettingsDialog::EnableLevels() {
    bottom_->setEnabled(manual_->isChecked());
    top_->setEnabled(manual_->isChecked());
    refusal_->Clear();
}

WaterfallSettings QtSpectrogramSettingsDialog::Result() const {
    WaterfallSettings settings;
    settings.lineHeight = lineHeight_->currentData().toInt();
    settings.historyLines = static_cast<std::size_t>(historyLines_->value());
    settings.manualColours = manual_->isChecked();
    settings.bottomDbm = bottom_->value();
    settings.topDbm = top_->value();
    return settings;
}

void QtSpectrogramSettingsDialog::TryAccept() {
    if (manual_->isChecked() &&
        top_->value() - bottom_->value() < WaterfallSettings::kLeastRangeDb) {
        refusal_->Refuse("The top level must lie at least 1 dB above the bottom level.", top_);
        return;
    }
    accept();
}

}  // namespace tavlin
