#include "panel/qt_tcp_ip_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/entry_rules.h"
#include "panel/qt_refusal_label.h"
#include "remote/tcp_socket.h"

namespace tavlin {

namespace {
constexpr int kAddressWidth = 160;
constexpr const char* kOpenNetworkWarning =
    "Not a loopback address: any host on that network can then drive the instrument.";
}  // namespace

QtTcpIpDialog::QtTcpIpDialog(const TcpIpSettings& start, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Enter TCP/IP settings");

    address_ = new QLineEdit(QString::fromStdString(start.address), this);
    address_->setMinimumWidth(kAddressWidth);
    commandPort_ = new QLineEdit(QString::number(start.commandPort), this);
    dataPort_ = new QLineEdit(QString::number(start.dataPort), this);
    refusal_ = new QtRefusalLabel(this);
    for (QLineEdit* field : {address_, commandPort_, dataPort_}) {
        connect(field, &QLineEdit::textEdited, refusal_, &QtRefusalLabel::Clear);
    }
    warning_ = new QLabel(QString::fromLatin1(kOpenNetworkWarning), this);
    warning_->setObjectName(QStringLiteral("openNetworkWarning"));
    warning_->setWordWrap(true);
    connect(address_, &QLineEdit::textChanged, this, &QtTcpIpDialog::ShowAddressWarning);
    ShowAddressWarning();

    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QtTcpIpDialog::TryAccept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* fields = new QFormLayout;
    fields->addRow("IP Address", address_);
    fields->addRow("Command Port", commandPort_);
    fields->addRow("Data Port", dataPort_);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(fields);
    layout->addWidget(warning_);
    layout->addWidget(refusal_);
    layout->addLayout(buttons);
    address_->setFocus();
    address_->selectAll();
}

std::optional<int> QtTcpIpDialog::CheckPortField(QLineEdit* field, const char* caption) {
    const FieldCheck<int> check = CheckPort(field->text().toStdString());
    if (!check.value) {
        refusal_->Refuse(std::string(caption) + ": " + check.refusal, field);
    }
    return check.value;
}

// An address of another network is the user's to choose, but not without
// knowing that the server has no password.
void QtTcpIpDialog::ShowAddressWarning() {
    const std::string address = address_->text().trimmed().toStdString();
    warning_->setVisible(tcp::IsIpAddress(address) && !tcp::IsLoopbackAddress(address));
}

void QtTcpIpDialog::TryAccept() {
    if (!tcp::IsIpAddress(address_->text().trimmed().toStdString())) {
        refusal_->Refuse("IP Address: not an IPv4 or IPv6 address", address_);
        return;
    }
    const std::optional<int> commandPort = CheckPortField(commandPort_, "Command Port");
    if (!commandPort) {
        return;
    }
    const std::optional<int> dataPort = CheckPortField(dataPort_, "Data Port");
    if (!dataPort) {
        return;
    }
    result_ = {address_->text().trimmed().toStdString(), *commandPort, *dataPort};
    accept();
}

}  // namespace tavlin
