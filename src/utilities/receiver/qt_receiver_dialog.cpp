#include "utilities/receiver/qt_receiver_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "document/analyzer_document.h"
#include "utilities/receiver/measuring_receiver.h"
#include "utilities/utility_session.h"

namespace tavlin {

namespace {

constexpr const char* kBandwidths[] = {"240 KHz", "120 KHz", "60 KHz", "30 KHz", "15 KHz"};
constexpr int kResultsWidthChars = 44;
constexpr int kResultsHeightLines = 22;

// The worker writes its lines with CR LF, as the report files do.
QString DisplayText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.remove(QLatin1Char('\r'));
    return shown;
}

// A cut-off or centre that is no finite number reads as 0 Hz, which the
// receiver refuses with its own reason.
double HertzIn(const QLineEdit* edit) {
    bool ok = false;
    const double value = edit->text().trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

}  // namespace

void QtReceiverDialog::Open(AnalyzerDocument& document, QWidget* parent) {
    // Another utility has the instrument (the harmonics plot sweeping on
    // its worker): the receiver would retune under its feet.
    if (document.UtilityOwns()) {
        QApplication::beep();
        return;
    }
    UtilitySession session(document);
    QtReceiverDialog dialog(session.Instrument(), parent);
    dialog.exec();
}

QtReceiverDialog::QtReceiverDialog(InstrumentLease& instrument, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("receiverDialog"));
    setWindowTitle(QStringLiteral("Audio Analysis"));
    BuildControls();
    MeasuringReceiver::Display display{
        [this](const std::string& text) {
            // Queued: the worker never waits for the window, so EXIT can
            // wait for the worker without a deadlock.
            QMetaObject::invokeMethod(
                this, [this, shown = DisplayText(text)] { ShowResults(shown); },
                Qt::QueuedConnection);
        },
        [this](bool show) {
            QMetaObject::invokeMethod(
                this, [this, show] { calRange_->setVisible(show); }, Qt::QueuedConnection);
        }};
    receiver_ = std::make_unique<MeasuringReceiver>(instrument, std::move(display));
}

QtReceiverDialog::~QtReceiverDialog() {
    receiver_->Stop();
}

void QtReceiverDialog::BuildControls() {
    auto* form = new QGridLayout;
    bandwidth_ = new QComboBox(this);
    bandwidth_->setObjectName(QStringLiteral("ifBandwidth"));
    for (const char* text : kBandwidths) {
        bandwidth_->addItem(QString::fromLatin1(text));
    }
    bandwidth_->setCurrentText(QStringLiteral("15 KHz"));
    form->addWidget(new QLabel(QStringLiteral("IF Bandwidth"), this), 0, 0);
    form->addWidget(bandwidth_, 0, 1);

    lowPass_ = new QRadioButton(QStringLiteral("Audio Low Pass   Fc="), this);
    bandPass_ = new QRadioButton(QStringLiteral("Audio Band Pass   Fc="), this);
    bandPass_->setChecked(true);
    lowPassCutoff_ = new QLineEdit(QStringLiteral("3000"), this);
    lowPassCutoff_->setObjectName(QStringLiteral("lowPassCutoff"));
    bandPassCentre_ = new QLineEdit(QStringLiteral("1000"), this);
    bandPassCentre_->setObjectName(QStringLiteral("bandPassCentre"));
    form->addWidget(lowPass_, 1, 0);
    form->addWidget(lowPassCutoff_, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("Hz"), this), 1, 2);
    form->addWidget(bandPass_, 2, 0);
    form->addWidget(bandPassCentre_, 2, 1);
    form->addWidget(new QLabel(QStringLiteral("Hz"), this), 2, 2);

    syncDetector_ = new QCheckBox(QStringLiteral("Synchronous Level Detector"), this);
    showFm_ = new QCheckBox(QStringLiteral("Show FM"), this);
    showFm_->setChecked(true);
    showAm_ = new QCheckBox(QStringLiteral("Show AM"), this);
    form->addWidget(syncDetector_, 3, 0, 1, 3);
    form->addWidget(showFm_, 4, 0);
    form->addWidget(showAm_, 4, 1);

    results_ = new QPlainTextEdit(QStringLiteral("Analysis Data"), this);
    results_->setObjectName(QStringLiteral("results"));
    results_->setReadOnly(true);
    results_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics metrics(results_->font());
    results_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('0')) * kResultsWidthChars,
                             metrics.lineSpacing() * kResultsHeightLines);

    start_ = new QPushButton(QStringLiteral("START"), this);
    start_->setObjectName(QStringLiteral("start"));
    calRange_ = new QPushButton(QStringLiteral("Cal Range"), this);
    calRange_->setObjectName(QStringLiteral("calRange"));
    calRange_->hide();
    auto* exit = new QPushButton(QStringLiteral("EXIT"), this);
    exit->setObjectName(QStringLiteral("exit"));
    exit->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(calRange_);
    buttons->addStretch(1);
    buttons->addWidget(exit);

    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(results_, 1);
    column->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, &QtReceiverDialog::OnStart);
    connect(calRange_, &QPushButton::clicked, this, &QtReceiverDialog::OnCalRange);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
    // A running receiver takes the controls at its next pass.
    for (QCheckBox* box : {syncDetector_, showFm_, showAm_}) {
        connect(box, &QCheckBox::toggled, this, &QtReceiverDialog::PassControlsOn);
    }
    connect(bandPass_, &QRadioButton::toggled, this, &QtReceiverDialog::PassControlsOn);
    connect(bandwidth_, &QComboBox::currentTextChanged, this, &QtReceiverDialog::PassControlsOn);
    connect(lowPassCutoff_, &QLineEdit::editingFinished, this, &QtReceiverDialog::PassControlsOn);
    connect(bandPassCentre_, &QLineEdit::editingFinished, this, &QtReceiverDialog::PassControlsOn);
}

ReceiverControls QtReceiverDialog::Controls() const {
    ReceiverControls c;
    c.ifBandwidth = bandwidth_->currentText().toStdString();
    c.bandPass = bandPass_->isChecked();
    c.lowPassCutoffHz = HertzIn(lowPassCutoff_);
    c.bandPassCentreHz = HertzIn(bandPassCentre_);
    c.syncDetector = syncDetector_->isChecked();
    c.showFm = showFm_->isChecked();
    c.showAm = showAm_->isChecked();
    return c;
}

QString QtReceiverDialog::ResultsText() const {
    return results_->toPlainText();
}

bool QtReceiverDialog::Running() const {
    return receiver_->Running();
}

void QtReceiverDialog::PassControlsOn() {
    // Controls that name no filter are not taken; the receiver keeps the
    // last good ones and START says why.
    receiver_->SetControls(Controls());
}

void QtReceiverDialog::OnStart() {
    const ReceiverControls controls = Controls();
    const std::string refusal =
        ControlsRefusal(controls, DecimationForBandwidth(controls.ifBandwidth));
    if (!refusal.empty()) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(refusal));
        return;
    }
    receiver_->SetControls(controls);
    receiver_->Start();
}

void QtReceiverDialog::OnCalRange() {
    receiver_->RequestRangeChange();
    calRange_->hide();
}

void QtReceiverDialog::ShowResults(const QString& text) {
    results_->setPlainText(text);
}

void QtReceiverDialog::done(int result) {
    // A pass in progress completes: at D = 16 a capture alone takes over two
    // seconds, so the wait is shown.
    if (receiver_->Running()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        receiver_->Stop();
        QApplication::restoreOverrideCursor();
    }
    QDialog::done(result);
}

}  // namespace tavlin
