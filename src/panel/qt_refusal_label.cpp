#include "panel/qt_refusal_label.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>

#include "base/contrast_ratio.h"

namespace tavlin {

namespace {

const QColor kInkOnLight(192, 0, 0);
const QColor kInkOnDark(255, 110, 110);

Rgb ToRgb(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return {static_cast<std::uint8_t>(rgb.red()), static_cast<std::uint8_t>(rgb.green()),
            static_cast<std::uint8_t>(rgb.blue())};
}

}  // namespace

QtRefusalLabel::QtRefusalLabel(QWidget* parent) : QLabel(parent) {
    setObjectName("refusal");
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    UseInk();
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

QColor QtRefusalLabel::Ink(const QColor& background) {
    const Rgb behind = ToRgb(background);
    return ContrastRatio(ToRgb(kInkOnLight), behind) >= ContrastRatio(ToRgb(kInkOnDark), behind)
               ? kInkOnLight
               : kInkOnDark;
}

// The window's palette changes with the theme; only the text's colour is
// the label's own, so the rest still follows the window.
void QtRefusalLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        UseInk();
    }
}

// Setting the same colour again changes nothing and sends no event.
void QtRefusalLabel::UseInk() {
    QPalette own = palette();
    own.setColor(QPalette::WindowText, Ink(own.color(QPalette::Window)));
    setPalette(own);
}

}  // namespace tavlin
