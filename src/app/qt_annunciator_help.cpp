#include "app/qt_annunciator_help.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tavlin {

QtAnnunciatorHelp::QtAnnunciatorHelp(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Annunciators Used"));
    auto* layout = new QVBoxLayout(this);
    for (const QString& line : Lines()) {
        auto* label = new QLabel(line, this);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

QStringList QtAnnunciatorHelp::Lines() {
    return {
        QStringLiteral("U - Uncalibrated Condition"),
        QStringLiteral("T - Triggered (External or video)"),
        QStringLiteral("R - Realtime Data Capture"),
        QStringLiteral("I - Image Reject Off"),
        QStringLiteral("K- Signal Track"),
        QStringLiteral("A- Video Avg"),
        QStringLiteral("Y- Sync Out"),
        QStringLiteral("FO - Downconverter Freq Offset"),
        QStringLiteral("X - Transducer On"),
    };
}

}  // namespace tavlin
