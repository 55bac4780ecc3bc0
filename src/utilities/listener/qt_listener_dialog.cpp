#include "utilities/listener/qt_listener_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "document/analyzer_document.h"
#include "ports/prompter.h"
#include "utilities/sound/alsa_audio_sink.h"
#include "utilities/sound/wav_file_sink.h"
#include "utilities/utility_session.h"

namespace tavlin {

namespace {

constexpr double kMinMHz = 0.1;
constexpr double kMaxMHz = 4400.0;
constexpr double kMaxDeemphasisUs = 1001.0;

QString Number(double value) {
    return QLocale::c()
        .toString(value, 'f', 6)
        .remove(QRegularExpression("0+$"))
        .remove(QRegularExpression("\\.$"));
}

// A field's number when it lies within low..high, else the refusal shown.
bool ReadField(QLineEdit* field, double low, double high, const char* lowText, const char* highText,
               Prompter& prompter, double& value) {
    bool ok = false;
    const double v = QLocale::c().toDouble(field->text().trimmed(), &ok);
    if (ok && v >= low && v <= high) {
        value = v;
        return true;
    }
    prompter.Inform(
        std::string("Please enter a number between ") + lowText + " and " + highText + ".",
        "Listen to Demodulated Waveform");
    field->setFocus();
    field->selectAll();
    return false;
}

}  // namespace

QtListenerDialog::QtListenerDialog(InstrumentLease& instrument, const ListenSettings& settings,
                                   QWidget* parent)
    : QDialog(parent), instrument_(instrument), doc_(instrument.Document()), settings_(settings) {
    setWindowTitle("Listen to Demodulated Waveform");
    chooseRecording = [this] {
        return QFileDialog::getSaveFileName(this, "Record to file...", QString(),
                                            "WAV files (*.wav)");
    };

    frequency_ = new QLineEdit(Number(settings.freqHz / 1e6), this);
    frequency_->setAlignment(Qt::AlignRight);
    deemphasis_ = new QLineEdit(Number(settings.deemphasisUs), this);
    deemphasis_->setAlignment(Qt::AlignRight);
    am_ = new QRadioButton("AM", this);
    fm_ = new QRadioButton("FM", this);
    (settings.fm ? fm_ : am_)->setChecked(true);
    narrowIf_ = new QCheckBox("30 KHz IF", this);
    wideIf_ = new QCheckBox("120 KHz IF", this);
    (settings.wideIf ? wideIf_ : narrowIf_)->setChecked(true);
    record_ = new QCheckBox("Record to file...", this);
    start_ = new QPushButton("Start", this);
    stop_ = new QPushButton("STOP", this);
    auto* ok = new QPushButton("OK", this);

    connect(start_, &QPushButton::clicked, this, &QtListenerDialog::OnStart);
    connect(stop_, &QPushButton::clicked, this, &QtListenerDialog::OnStop);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(am_, &QRadioButton::clicked, this, [this] {
        settings_.fm = false;
        listener_->SetFm(false);
    });
    connect(fm_, &QRadioButton::clicked, this, [this] {
        settings_.fm = true;
        listener_->SetFm(true);
    });
    connect(narrowIf_, &QCheckBox::clicked, this, [this] { ChooseIf(false); });
    connect(wideIf_, &QCheckBox::clicked, this, [this] { ChooseIf(true); });
    connect(frequency_, &QLineEdit::textEdited, this, &QtListenerDialog::ShowApplyIfPlaying);
    connect(deemphasis_, &QLineEdit::textEdited, this, &QtListenerDialog::ShowApplyIfPlaying);
    connect(record_, &QCheckBox::toggled, this, &QtListenerDialog::OnRecordToggled);

    auto* fields = new QFormLayout;
    fields->addRow("Frequency (MHz)", frequency_);
    fields->addRow("De-emphasis (usec)", deemphasis_);
    auto* mode = new QHBoxLayout;
    mode->addWidget(am_);
    mode->addWidget(fm_);
    mode->addWidget(narrowIf_);
    mode->addWidget(wideIf_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(fields);
    layout->addLayout(mode);
    layout->addWidget(record_);
    layout->addLayout(buttons);

    OnRecordToggled(false);
    start_->setDefault(true);
    start_->setFocus();
}

QtListenerDialog::~QtListenerDialog() {
    listener_.reset();  // stops the stream before the sink goes
}

// OK, Escape and the window's close box all stop the sound first.
void QtListenerDialog::done(int result) {
    OnStop();
    QDialog::done(result);
}

bool QtListenerDialog::ReadFields() {
    double mhz = 0.0;
    double us = 0.0;
    if (!ReadField(frequency_, kMinMHz, kMaxMHz, "0.1", "4400.0", doc_.GetPrompter(), mhz) ||
        !ReadField(deemphasis_, 0.0, kMaxDeemphasisUs, "0.0", "1001.0", doc_.GetPrompter(), us)) {
        return false;
    }
    settings_.freqHz = mhz * 1e6;
    settings_.deemphasisUs = us;
    return true;
}

// Every Start of a recording is a take of its own: "name.wav", then
// "name-2.wav", ..., so that APPLY never writes over the take before it.
void QtListenerDialog::OnStart() {
    if (!ReadFields()) {
        return;
    }
    if (record_->isChecked()) {
        listener_->Stop();
        ShowFailure();
        QString take = recordingPath_;
        if (++takes_ > 1) {
            take.insert(take.size() - 4, QString("-%1").arg(takes_));
        }
        UseSink(std::make_unique<WavFileSink>(take.toStdString()));
    }
    start_->setText("playing");
    start_->repaint();
    if (!listener_->Start(settings_)) {
        start_->setText("Start");  // "Error 7" was shown
    }
}

void QtListenerDialog::OnStop() {
    const bool wasPlaying = listener_->Playing();
    listener_->Stop();
    start_->setText("Start");
    if (wasPlaying) {
        ShowFailure();
    }
}

// The recording, or the sound card, from the next Start on.
void QtListenerDialog::OnRecordToggled(bool on) {
    if (on) {
        recordingPath_ = chooseRecording ? chooseRecording() : QString();
        takes_ = 0;
        if (recordingPath_.isEmpty()) {
            const QSignalBlocker quiet(record_);
            record_->setChecked(false);
            on = false;
        } else if (!recordingPath_.endsWith(".wav", Qt::CaseInsensitive)) {
            recordingPath_ += ".wav";
        }
    }
    if (on) {
        UseSink(std::make_unique<WavFileSink>(recordingPath_.toStdString()));
    } else {
        UseSink(std::make_unique<AlsaAudioSink>());
    }
}

// A running stream ends before its sink goes.
void QtListenerDialog::UseSink(std::unique_ptr<AudioSink> sink) {
    if (listener_ != nullptr && listener_->Playing()) {
        listener_->Stop();
        ShowFailure();
    }
    listener_.reset();
    sink_ = std::move(sink);
    QPointer<QtListenerDialog> self(this);
    listener_ = std::make_unique<AudioListener>(instrument_, *sink_, [self] {
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (self) {
                    self->OnStreamEnded();
                }
            },
            Qt::QueuedConnection);
    });
    start_->setText("Start");
}

// The boxes exclude each other; clicking the one already ticked keeps it.
void QtListenerDialog::ChooseIf(bool wide) {
    wideIf_->setChecked(wide);
    narrowIf_->setChecked(!wide);
    settings_.wideIf = wide;
    ShowApplyIfPlaying();
}

void QtListenerDialog::ShowApplyIfPlaying() {
    if (listener_->Playing()) {
        start_->setText("APPLY");
    }
}

// The stream ended by itself (no data, the sound device failed).
void QtListenerDialog::OnStreamEnded() {
    if (!listener_->Playing()) {
        listener_->Stop();
        start_->setText("Start");
        ShowFailure();
    }
}

// "Time out waiting for data" has been shown by then; a recording that could
// not be completed or a sound device that failed is said here.
void QtListenerDialog::ShowFailure() {
    const std::string failure = listener_->Failure();
    if (!failure.empty() && failure != AudioListener::kNoDataText) {
        doc_.GetPrompter().Inform(failure, "ERROR");
    }
}

void RunListenDialog(AnalyzerDocument& document, QWidget* parent) {
    UtilitySession session(document);
    QtListenerDialog dialog(session.Instrument(), OpeningListenSettings(document), parent);
    dialog.exec();
    CloseListening(session.Instrument(), dialog.Settings());
}

}  // namespace tavlin
