#include "panel/qt_refusal_label.h"

#include <QComboBox>
#include <QLineEdit>

namespace tavlin {

QtRefusalLabel::QtRefusalLabel(QWidget* parent) : QLabel(parent) {
    setObjectName("refusal");
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setStyleSheet("color: #c00000;");
    // The dialog's fields set its width, and two lines take the longest
    // message at the narrowest dialog's.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(2 * fontMetrics().lineSpacing());
}

void QtRefusalLabel::Refuse(const std::string& message, QWidget* field) {
    setText(QString::fromStdString(message));
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
}

}  // namespace tavlin
