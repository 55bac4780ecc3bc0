#pragma once

#include <QMenu>
#include <functional>
#include <initializer_list>
#include <vector>

#include "panel/settings_menu_commands.h"

class QAction;

namespace tavlin {

class EntryDialogs;
class AnalyzerDocument;

// The Settings menu: steps, offsets, preamplifier, span/RBW, sweep time and
// the modes, with the check marks and enabled states worked out from the
// settings each time the menu or one of its submenus opens. A choice of one
// among several is a radio item. Each action carries its command number in
// its object name ("action32775").
class QtSettingsMenu final : public QMenu {
    Q_OBJECT

  public:
    QtSettingsMenu(AnalyzerDocument& document, EntryDialogs& dialogs, QWidget* parent = nullptr);

    SettingsMenuCommands& Commands() { return commands_; }
    QAction* Action(int commandId) const;
    // Check marks and enabled states from the present settings.
    void UpdateStates();

  private:
    QAction* AddItem(QMenu* menu, int commandId, const char* caption,
                     std::function<void()> handler);
    QAction* AddCheckedItem(QMenu* menu, int commandId, const char* caption, SettingsMenuItem item,
                            std::function<void()> handler);
    QMenu* AddSubmenu(const char* caption);
    void MakeOneOf(std::initializer_list<QAction*> choices);
    void AddLevelItems();
    void AddModeSubmenus();
    void AddSyncTrigAndColourSubmenus();
    void AddLastItems();

    SettingsMenuCommands commands_;
    std::vector<std::pair<QAction*, SettingsMenuItem>> checked_;
};

}  // namespace tavlin
