#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace tavlin {

// "Set Title": one line of text for the plot's title, with OK and Cancel.
class QtTitleDialog : public QDialog {
    Q_OBJECT
  public:
    explicit QtTitleDialog(const std::string& start, QWidget* parent = nullptr);

    // The text as typed, in UTF-8.
    std::string ResultText() const;

  private:
    QLineEdit* title_ = nullptr;
};

}  // namespace tavlin
