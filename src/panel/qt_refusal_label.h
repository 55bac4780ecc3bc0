#pragma once

#include <QLabel>
#include <string>

namespace tavlin {

// The line under a value-entry dialog's fields that says why the dialog did
// not close. Hidden while there is nothing to say, so a dialog keeps its
// compact size until a value is refused.
class QtRefusalLabel : public QLabel {
    Q_OBJECT
  public:
    explicit QtRefusalLabel(QWidget* parent = nullptr);

    // Shows the message and puts the cursor back into the field at fault with
    // its text selected, so the next keystrokes replace it.
    void Refuse(const std::string& message, QWidget* field);
    void Clear();
};

}  // namespace tavlin
