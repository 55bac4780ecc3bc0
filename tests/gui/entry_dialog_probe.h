#pragma once

// Finding and driving the parts of an entry dialog the way a user does.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "panel/qt_refusal_label.h"

namespace tavlin::test {

// The one push button with exactly this caption (null, and a failure, when
// there is none or more than one).
inline QPushButton* Button(QWidget& dialog, const QString& caption) {
    QPushButton* found = nullptr;
    int count = 0;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == caption) {
            found = button;
            ++count;
        }
    }
    EXPECT_EQ(count, 1) << "buttons captioned \"" << caption.toStdString() << "\"";
    return count == 1 ? found : nullptr;
}

inline void Click(QWidget& dialog, const QString& caption) {
    QPushButton* button = Button(dialog, caption);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

// The dialog's first text field (the number field, or an editable list's).
inline QLineEdit* Field(QWidget& dialog) {
    auto* field = dialog.findChild<QLineEdit*>();
    EXPECT_NE(field, nullptr);
    return field;
}

// Replaces the field's text by typing, as after selecting it all.
inline void TypeInto(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClicks(field, text);
}

inline void PressEnter(QWidget* widget) {
    QTest::keyClick(widget, Qt::Key_Return);
}
inline void PressEscape(QWidget* widget) {
    QTest::keyClick(widget, Qt::Key_Escape);
}

// What the dialog says about a refused value; empty while it says nothing.
inline QString Refusal(QWidget& dialog) {
    auto* label = dialog.findChild<QtRefusalLabel*>();
    if (label == nullptr || !label->isVisibleTo(&dialog)) {
        return {};
    }
    return label->text();
}

}  // namespace tavlin::test
