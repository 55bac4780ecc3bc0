#include "app/qt_sweep_log_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

#include "panel/qt_refusal_label.h"

namespace tavlin {

namespace {

QLineEdit* Field(const QString& name, const QString& placeholder, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setPlaceholderText(placeholder);
    return field;
}

// An empty field leaves the setting as it is.
std::string ReadSeconds(const QLineEdit* field, const char* what, double& seconds) {
    const std::string text = field->text().trimmed().toStdString();
    if (text.empty()) {
        return "";
    }
    const std::optional<double> parsed = ParseLogSeconds(text);
    seconds = parsed.value_or(seconds);
    return parsed ? "" : std::string(what) + " takes a time (90s, 5m, 1h), not '" + text + "'";
}

}  // namespace

QtSweepLogDialog::QtSweepLogDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("sweepLogDialog"));
    setWindowTitle(QStringLiteral("Log Sweeps"));
    auto* form = new QFormLayout(this);
    file_ = Field(QStringLiteral("file"), QStringLiteral("sweeps.csv"), this);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, &QtSweepLogDialog::Browse);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse);
    form->addRow(QStringLiteral("File:"), fileRow);
    format_ = new QComboBox(this);
    format_->setObjectName(QStringLiteral("format"));
    format_->addItem(QStringLiteral("Heat-map CSV (date, time, Hz low, Hz high, ...)"));
    format_->addItem(QStringLiteral("Table with the settings"));
    form->addRow(QStringLiteral("Layout:"), format_);
    interval_ = Field(QStringLiteral("interval"), QStringLiteral("every sweep"), this);
    form->addRow(QStringLiteral("At most one sweep every:"), interval_);
    duration_ = Field(QStringLiteral("duration"), QStringLiteral("until stopped"), this);
    form->addRow(QStringLiteral("Stop after:"), duration_);
    rotate_ = Field(QStringLiteral("rotate"), QStringLiteral("never (or 100M, 1h)"), this);
    form->addRow(QStringLiteral("New file every:"), rotate_);
    margin_ = Field(QStringLiteral("margin"), QStringLiteral("100M or 1%"), this);
    form->addRow(QStringLiteral("Keep free on the disk:"), margin_);
    refusal_ = new QLabel(this);
    refusal_->setObjectName(QStringLiteral("refusal"));
    form->addRow(refusal_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QtSweepLogDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QtSweepLogDialog::reject);
    form->addRow(buttons);
}

void QtSweepLogDialog::Browse() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Log Sweeps"), file_->text(), QStringLiteral("CSV files (*.csv)"),
        nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) {
        file_->setText(path);
    }
}

std::string QtSweepLogDialog::Read(SweepLogSettings& settings) const {
    settings.path = file_->text().trimmed().toStdString();
    if (settings.path.empty()) {
        return "Name the file to log to";
    }
    settings.format =
        format_->currentIndex() == 0 ? SweepLogFormat::kHeatmap : SweepLogFormat::kTable;
    std::string refusal = ReadSeconds(interval_, "The interval", settings.intervalSec);
    if (refusal.empty()) {
        refusal = ReadSeconds(duration_, "The duration", settings.durationSec);
    }
    const std::string rotate = rotate_->text().trimmed().toStdString();
    if (refusal.empty() && !rotate.empty()) {
        refusal = ParseLogRotate(rotate, settings);
    }
    const std::string margin = margin_->text().trimmed().toStdString();
    if (refusal.empty() && !margin.empty()) {
        refusal = ParseLogMargin(margin, settings);
    }
    return refusal;
}

void QtSweepLogDialog::accept() {
    SweepLogSettings settings;
    const std::string refusal = Read(settings);
    // A red that reads on the dialog's background as it is now, light or dark.
    QPalette ink = refusal_->palette();
    ink.setColor(QPalette::WindowText, QtRefusalLabel::Ink(ink.color(QPalette::Window)));
    refusal_->setPalette(ink);
    refusal_->setText(QString::fromStdString(refusal));
    if (refusal.empty()) {
        settings_ = settings;
        QDialog::accept();
    }
}

}  // namespace tavlin
