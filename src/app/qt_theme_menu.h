#pragma once

#include <QMenu>

namespace tavlin {

class QtTheme;

// View > Theme: "Follow Desktop", "Light" and "Dark", one of them checked,
// the one in force however it was chosen (the menu, the command line, the
// kept session).
class QtThemeMenu final : public QMenu {
    Q_OBJECT

  public:
    QtThemeMenu(QtTheme& theme, QWidget* parent);

  private:
    void ShowChoice();

    QtTheme& theme_;
};

}  // namespace tavlin
