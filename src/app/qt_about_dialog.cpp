#include "app/qt_about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include "document/analyzer_document.h"
#include "document/instrument_info.h"

namespace tavlin {

namespace {

struct Identity {
    QString firmware;
    QString serial;
};

Identity IdentityOf(const AnalyzerDocument& document) {
    if (!document.InstrumentConnected()) {
        return {};
    }
    return document.ReadSettings([](const InstrumentState& s) {
        return Identity{
            QStringLiteral("Firmware ") + QString::fromStdString(PrintableText(s.firmwareVersion)),
            QStringLiteral("Serial # ") + QString::fromStdString(PrintableText(s.deviceSerial))};
    });
}

QLineEdit* ReadOnlyField(const QString& text, const QString& name, QWidget* parent) {
    auto* field = new QLineEdit(text, parent);
    field->setReadOnly(true);
    field->setObjectName(name);
    field->setMinimumWidth(220);
    return field;
}

QIcon ProgramIcon() {
    const QIcon windowIcon = QApplication::windowIcon();
    if (!windowIcon.isNull()) {
        return windowIcon;
    }
    return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
}

}  // namespace

QtAboutDialog::QtAboutDialog(const AnalyzerDocument& document, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Tavlin"));
    const Identity identity = IdentityOf(document);

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    auto* version = new QLabel(QString::fromLatin1(kSoftwareVersion), this);
    firmware_ = ReadOnlyField(identity.firmware, QStringLiteral("firmware"), this);
    serial_ = ReadOnlyField(identity.serial, QStringLiteral("serial"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1);
    layout->addWidget(firmware_, 1, 1);
    layout->addWidget(serial_, 2, 1);
    layout->addWidget(buttons, 3, 0, 1, 2);
}

QString QtAboutDialog::FirmwareText() const {
    return firmware_->text();
}

QString QtAboutDialog::SerialText() const {
    return serial_->text();
}

}  // namespace tavlin
