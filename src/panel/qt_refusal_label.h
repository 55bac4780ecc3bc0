#pragma once

#include <QLabel>
#include <string>

namespace tavlin {

// The lines under a value-entry dialog's fields that say why the dialog did
// not close. Their room is kept while there is nothing to say, so a refusal
// moves no button from under the pointer. They are red, a dark red on a
// light window and a light one on a dark window, readable on either.
class QtRefusalLabel : public QLabel {
    Q_OBJECT
  public:
    explicit QtRefusalLabel(QWidget* parent = nullptr);

    // Shows the message and puts the cursor back into the field at fault with
    // its text selected, so the next keystrokes replace it.
    void Refuse(const std::string& message, QWidget* field);
    void Clear();

    // The red that reads better on `background`.
    static QColor Ink(const QColor& background);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void UseInk();
};

}  // namespace tavlin
