#include "app/qt_theme_menu.h"

#include <QActionGroup>

#include "app/qt_theme.h"

namespace tavlin {

QtThemeMenu::QtThemeMenu(QtTheme& theme, QWidget* parent)
    : QMenu(QString::fromLatin1(QtTheme::kMenuCaption), parent), theme_(theme) {
    setObjectName(QStringLiteral("themeMenu"));
    auto* group = new QActionGroup(this);
    for (const ThemeChoice choice :
         {ThemeChoice::kFollowDesktop, ThemeChoice::kLight, ThemeChoice::kDark}) {
        QAction* action = addAction(QtTheme::Caption(choice));
        action->setCheckable(true);
        action->setStatusTip(
            QStringLiteral("The window's colours; the plot keeps its own colour scheme"));
        action->setData(static_cast<int>(choice));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, choice] { theme_.Apply(choice); });
    }
    connect(&theme_, &QtTheme::applied, this, &QtThemeMenu::ShowChoice);
    ShowChoice();
}

void QtThemeMenu::ShowChoice() {
    for (QAction* action : actions()) {
        action->setChecked(action->data().toInt() == static_cast<int>(theme_.Choice()));
    }
}

}  // namespace tavlin
