#pragma once

#include <QMenu>

class QAction;

namespace tavlin {

class AutomationServer;
class EntryDialogs;
class ScpiServer;

// The Advanced menu: "Enable Automation", whose text follows the server
// ("Disable Automation" while it listens, "TCP Connected!" and disabled
// while a client is connected), and "Enable SCPI Server", ticked while the
// SCPI socket is on. The states are read each time the menu opens.
class QtAdvancedMenu final : public QMenu {
    Q_OBJECT

  public:
    QtAdvancedMenu(AutomationServer& automation, ScpiServer& scpi, EntryDialogs& dialogs,
                   QWidget* parent = nullptr);

    QAction* AutomationAction() const { return automationAction_; }
    QAction* ScpiAction() const { return scpiAction_; }
    void UpdateStates();

  private:
    AutomationServer& automation_;
    ScpiServer& scpi_;
    QAction* automationAction_ = nullptr;
    QAction* scpiAction_ = nullptr;
};

}  // namespace tavlin
