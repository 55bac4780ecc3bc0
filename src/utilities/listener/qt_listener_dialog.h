#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "utilities/listener/audio_listener.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace tavlin {

class AnalyzerDocument;
class InstrumentLease;

// "Listen to Demodulated Waveform": plays the AM or FM demodulated signal at
// one frequency through the sound card, or records it to a WAV file, while
// the dialog is open. AM and FM switch the sound at once; a new frequency,
// IF width or de-emphasis shows "APPLY" and takes effect at the next Start.
class QtListenerDialog final : public QDialog {
    Q_OBJECT
  public:
    QtListenerDialog(InstrumentLease& instrument, const ListenSettings& settings,
                     QWidget* parent = nullptr);
    ~QtListenerDialog() override;

    // The choices as the dialog holds them, for the document when it closes.
    ListenSettings Settings() const { return settings_; }

    // Asks for the recording's file name; empty when the user cancels.
    std::function<QString()> chooseRecording;

  protected:
    void done(int result) override;

  private:
    void OnStart();
    void OnStop();
    void OnRecordToggled(bool on);
    void UseSink(std::unique_ptr<AudioSink> sink);
    void ChooseIf(bool wide);
    void ShowApplyIfPlaying();
    void OnStreamEnded();
    void ShowFailure();
    bool ReadFields();

    InstrumentLease& instrument_;
    AnalyzerDocument& doc_;
    ListenSettings settings_;
    QString recordingPath_;
    int takes_ = 0;
    std::unique_ptr<AudioSink> sink_;
    std::unique_ptr<AudioListener> listener_;

    QLineEdit* frequency_ = nullptr;
    QRadioButton* am_ = nullptr;
    QRadioButton* fm_ = nullptr;
    QCheckBox* narrowIf_ = nullptr;
    QCheckBox* wideIf_ = nullptr;
    QLineEdit* deemphasis_ = nullptr;
    QCheckBox* record_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
};

// Audio > "Listen" (Ctrl+L): pauses the sweep, runs the dialog at marker 1
// (when it is on inside the span) or at the centre, then moves marker 1 to
// the dialog's frequency, keeps its choices and resumes the sweep.
void RunListenDialog(AnalyzerDocument& document, QWidget* parent);

}  // namespace tavlin
