#pragma once

#include <QDialog>

class QLineEdit;

namespace tavlin {

class AnalyzerDocument;

// "About Tavlin": the program icon, the software version and the firmware
// and serial number of the connected unit.
//
// The unit's identity is the one read at the last preset: asking the unit
// again here would put a command on the channel a running sweep is using.
class QtAboutDialog final : public QDialog {
    Q_OBJECT

  public:
    static constexpr const char* kSoftwareVersion = "Software Version 1.50";

    // Both fields stay empty when no instrument is connected.
    QtAboutDialog(const AnalyzerDocument& document, QWidget* parent = nullptr);

    QString FirmwareText() const;
    QString SerialText() const;

  private:
    QLineEdit* firmware_ = nullptr;
    QLineEdit* serial_ = nullptr;
};

}  // namespace tavlin
