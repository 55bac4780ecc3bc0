#include "panel/qt_refusal_label.h"

#include <QComboBox>
#include <QLineEdit>

namespace tavlin {

QtRefusalLabel::QtRefusalLabel(QWidget* parent) : QLabel(parent) {
    setObjectName("refusal");
    setWordWrap(true);
    setStyleSheet("color: #c00000;");
    hide();
}

void QtRefusalLabel::Refuse(const std::string& message, QWidget* field) {
    setText(QString::fromStdString(message));
    show();
    if (field == nullptr) {
        return;
    }
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    } else if (auto* combo = qobject_cast<QComboBox*>(field); combo && combo->lineEdit()) {
        combo->lineEdit()->selectAll();
    }
}

void QtRefusalLabel::Clear() {
    clear();
    hide();
}

}  // namespace tavlin
