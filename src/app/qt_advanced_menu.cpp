#include "app/qt_advanced_menu.h"

#include <QAction>

#include "remote/automation_server.h"
#include "remote/scpi_server.h"

namespace tavlin {

QtAdvancedMenu::QtAdvancedMenu(AutomationServer& automation, ScpiServer& scpi,
                               EntryDialogs& dialogs, QWidget* parent)
    : QMenu(QStringLiteral("&Advanced"), parent), automation_(automation), scpi_(scpi) {
    setObjectName(QStringLiteral("advancedMenu"));
    automationAction_ = addAction(QString::fromLatin1(AutomationServer::kEnableText));
    automationAction_->setObjectName(QStringLiteral("action32809"));
    connect(automationAction_, &QAction::triggered, this,
            [this, &dialogs] { automation_.OnEnableAutomation(dialogs); });
    scpiAction_ = addAction(QString::fromLatin1(ScpiServer::kMenuText));
    scpiAction_->setObjectName(QStringLiteral("actionScpiServer"));
    scpiAction_->setCheckable(true);
    connect(scpiAction_, &QAction::triggered, this, [this] { scpi_.OnToggle(); });
    connect(this, &QMenu::aboutToShow, this, &QtAdvancedMenu::UpdateStates);
    UpdateStates();
}

void QtAdvancedMenu::UpdateStates() {
    automationAction_->setText(QString::fromStdString(automation_.MenuText()));
    automationAction_->setEnabled(automation_.MenuEnabled());
    scpiAction_->setChecked(scpi_.Enabled());
}

}  // namespace tavlin
