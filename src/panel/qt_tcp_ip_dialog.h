#pragma once

#include <QDialog>

#include "ports/entry_dialogs.h"

class QLabel;
class QLineEdit;

namespace tavlin {

class QtRefusalLabel;

// "Enter TCP/IP settings": the automation server's address (a numeric IPv4
// or IPv6 address) and its command and data ports (1 to 65535). An address
// that is not a loopback address shows a warning.
class QtTcpIpDialog : public QDialog {
    Q_OBJECT
  public:
    explicit QtTcpIpDialog(const TcpIpSettings& start, QWidget* parent = nullptr);

    const TcpIpSettings& Result() const { return result_; }

  private:
    void TryAccept();
    void ShowAddressWarning();
    // The port in the field, or nothing after showing why it is refused.
    std::optional<int> CheckPortField(QLineEdit* field, const char* caption);

    QLineEdit* address_ = nullptr;
    QLineEdit* commandPort_ = nullptr;
    QLineEdit* dataPort_ = nullptr;
    QtRefusalLabel* refusal_ = nullptr;
    QLabel* warning_ = nullptr;
    TcpIpSettings result_;
};

}  // namespace tavlin
