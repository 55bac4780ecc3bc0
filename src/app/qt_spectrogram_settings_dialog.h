#pragma once

#include <QDialog>

#include "view/waterfall_settings.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace tavlin {

class QtRefusalLabel;

// "Spectrogram Settings": the line height (pixels per sweep, or "Fit"), the
// history length in sweeps with the memory it takes, and the colour range,
// "Automatic" or "Manual" from a bottom to a top level in dBm. OK accepts
// when the top lies at least 1 dB above the bottom; Cancel or Escape leaves
// everything as it was.
class QtSpectrogramSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit QtSpectrogramSettingsDialog(const WaterfallSettings& settings,
                                         QWidget* parent = nullptr);

    WaterfallSettings Result() const;

  private:
    void ShowMemory();
    void EnableLevels();
    void TryAccept();

    QComboBox* lineHeight_ = nullptr;
    QSpinBox* historyLines_ = nullptr;
    QLabel* memory_ = nullptr;
    QRadioButton* manual_ = nullptr;
    QDoubleSpinBox* bottom_ = nullptr;
    QDoubleSpinBox* top_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
};

}  // namespace tavlin
