#pragma once

#include <QKeyEvent>

namespace tavlin {

// Return or the keypad's Enter, without Ctrl, Alt or Shift.
inline bool IsEnterKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers others = event.modifiers() & ~Qt::KeypadModifier;
    return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) &&
           others == Qt::NoModifier;
}

}  // namespace tavlin
