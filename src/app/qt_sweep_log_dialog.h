#pragma once

#include <QDialog>
#include <string>

#include "view/sweep_log_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace tavlin {

// File "Log Sweeps...": the file, its layout, the interval, the duration, the
// rotation and the free room to keep. OK is refused, with the reason under
// the fields, while a field cannot be used.
class QtSweepLogDialog final : public QDialog {
    Q_OBJECT

  public:
    explicit QtSweepLogDialog(QWidget* parent = nullptr);

    // The fields read as a log's settings: "" when all are usable, else why not.
    std::string Read(SweepLogSettings& settings) const;
    const SweepLogSettings& Settings() const { return settings_; }

    QLineEdit* FileField() const { return file_; }
    QComboBox* FormatField() const { return format_; }
    QLineEdit* IntervalField() const { return interval_; }
    QLineEdit* DurationField() const { return duration_; }
    QLineEdit* RotateField() const { return rotate_; }
    QLineEdit* MarginField() const { return margin_; }

  public Q_SLOTS:
    void accept() override;

  private:
    void Browse();

    QLineEdit* file_ = nullptr;
    QComboBox* format_ = nullptr;
    QLineEdit* interval_ = nullptr;
    QLineEdit* duration_ = nullptr;
    QLineEdit* rotate_ = nullptr;
    QLineEdit* margin_ = nullptr;
    QLabel* refusal_ = nullptr;
    SweepLogSettings settings_;
};

}  // namespace tavlin
