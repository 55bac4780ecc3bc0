#include "app/qt_iq_recording_dialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "document/analyzer_document.h"

namespace tavlin {

namespace {

constexpr int kPollMs = 250;
constexpr double kLongestSeconds = 86400.0;

QString Megabytes(std::uint64_t bytes) {
    return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

}  // namespace

QtIqRecordingDialog::QtIqRecordingDialog(AnalyzerDocument& document, QWidget* parent)
    : QDialog(parent), doc_(document) {
    setObjectName(QStringLiteral("iqRecordingDialog"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setModal(false);
    BuildLayout();
    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, &QtIqRecordingDialog::Refresh);
    poll_->start(kPollMs);
    Refresh();
}

void QtIqRecordingDialog::BuildLayout() {
    file_ = new QLineEdit(this);
    file_->setObjectName(QStringLiteral("iqFile"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    connect(browse, &QPushButton::clicked, this, &QtIqRecordingDialog::OnBrowse);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_);
    fileRow->addWidget(browse);

    forLength_ = new QRadioButton(QStringLiteral("&Seconds"), this);
    untilStopped_ = new QRadioButton(QStringLiteral("&Until stopped"), this);
    untilStopped_->setObjectName(QStringLiteral("iqUntilStopped"));
    forLength_->setChecked(true);
    seconds_ = new QDoubleSpinBox(this);
    seconds_->setObjectName(QStringLiteral("iqSeconds"));
    seconds_->setRange(0.1, kLongestSeconds);
    seconds_->setDecimals(1);
    seconds_->setValue(10.0);
    connect(forLength_, &QRadioButton::toggled, seconds_, &QWidget::setEnabled);
    auto* lengthRow = new QHBoxLayout;
    lengthRow->addWidget(forLength_);
    lengthRow->addWidget(seconds_);
    lengthRow->addWidget(untilStopped_);

    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("iqProgress"));
    written_ = new QLabel(this);
    written_->setObjectName(QStringLiteral("iqWritten"));
    written_->setWordWrap(true);

    start_ = new QPushButton(QStringLiteral("&Record"), this);
    start_->setObjectName(QStringLiteral("iqStart"));
    stop_ = new QPushButton(QStringLiteral("S&top"), this);
    stop_->setObjectName(QStringLiteral("iqStop"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(start_, QDialogButtonBox::ActionRole);
    buttons->addButton(stop_, QDialogButtonBox::ActionRole);
    connect(start_, &QPushButton::clicked, this, &QtIqRecordingDialog::OnStart);
    connect(stop_, &QPushButton::clicked, this, &QtIqRecordingDialog::StopRecording);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("File:"), fileRow);
    form->addRow(QStringLiteral("Length:"), lengthRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(
        QStringLiteral("Records the raw I/Q of the sweeps while the analyzer sweeps, in zero "
                       "span and at spans up to 200 kHz."),
        this));
    layout->addWidget(bar_);
    layout->addWidget(written_);
    layout->addWidget(buttons);
}

void QtIqRecordingDialog::OnBrowse() {
    const QString path =
        QFileDialog::getSaveFileName(this, QString::fromLatin1(kTitle), file_->text(),
                                     QStringLiteral("SigMF recordings (*.sigmf-meta)"));
    if (!path.isEmpty()) {
        file_->setText(path);
    }
}

void QtIqRecordingDialog::OnStart() {
    StartRecording(file_->text(), forLength_->isChecked() ? seconds_->value() : 0.0);
}

bool QtIqRecordingDialog::StartRecording(const QString& path, double seconds) {
    std::string error = path.isEmpty() ? "Choose a file to record to" : "";
    if (error.empty() && doc_.StartIqRecording(path.toStdString(), seconds, error)) {
        failureTold_ = false;
        Refresh();
        return true;
    }
    QMessageBox::warning(this, QString::fromLatin1(kTitle), QString::fromStdString(error));
    return false;
}

void QtIqRecordingDialog::StopRecording() {
    doc_.StopIqRecording();
    Refresh();
}

void QtIqRecordingDialog::Refresh() {
    const std::optional<IqRecordingStatus> status = doc_.IqRecording();
    const bool running = status && status->running;
    start_->setEnabled(!running);
    stop_->setEnabled(running);
    if (!status) {
        written_->setText(QStringLiteral("Not recording"));
        return;
    }
    if (status->secondsWanted > 0.0) {
        bar_->setRange(0, 100);
        bar_->setValue(static_cast<int>(100.0 * status->secondsElapsed / status->secondsWanted));
    } else {
        bar_->setRange(0, running ? 0 : 100);  // runs on and on until stopped
        bar_->setValue(running ? 0 : 100);
    }
    QString text = QStringLiteral("%1 written in %2 captures, %3 dropped")
                       .arg(Megabytes(status->bytesWritten))
                       .arg(status->captures)
                       .arg(status->droppedCaptures);
    if (!status->message.empty()) {
        text += QStringLiteral("\n") + QString::fromStdString(status->message);
    }
    written_->setText(text);
    if (!running && status->failed && !failureTold_) {
        failureTold_ = true;
        QMessageBox::warning(this, QString::fromLatin1(kFailedCaption),
                             QString::fromStdString(status->message));
    }
}

}  // namespace tavlin
