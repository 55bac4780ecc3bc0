#include "panel/qt_settings_menu.h"

#include <QAction>
#include <QActionGroup>

namespace tavlin {

namespace {

QString ObjectNameOf(int commandId) {
    return QStringLiteral("action%1").arg(commandId);
}

}  // namespace

QtSettingsMenu::QtSettingsMenu(AnalyzerDocument& document, EntryDialogs& dialogs, QWidget* parent)
    : QMenu(QStringLiteral("&Settings"), parent), commands_(document, dialogs) {
    setObjectName(QStringLiteral("settingsMenu"));
    AddLevelItems();
    AddModeSubmenus();
    AddSyncTrigAndColourSubmenus();
    AddLastItems();
    connect(this, &QMenu::aboutToShow, this, &QtSettingsMenu::UpdateStates);
}

QAction* QtSettingsMenu::Action(int commandId) const {
    return findChild<QAction*>(ObjectNameOf(commandId));
}

QAction* QtSettingsMenu::AddItem(QMenu* menu, int commandId, const char* caption,
                                 std::function<void()> handler) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(ObjectNameOf(commandId));
    // Owned by this menu, so Action() finds the ones in submenus as well.
    action->setParent(this);
    connect(action, &QAction::triggered, this, std::move(handler));
    return action;
}

QAction* QtSettingsMenu::AddCheckedItem(QMenu* menu, int commandId, const char* caption,
                                        SettingsMenuItem item, std::function<void()> handler) {
    QAction* action = AddItem(menu, commandId, caption, std::move(handler));
    action->setCheckable(true);
    checked_.emplace_back(action, item);
    return action;
}

QMenu* QtSettingsMenu::AddSubmenu(const char* caption) {
    QMenu* submenu = addMenu(QString::fromLatin1(caption));
    connect(submenu, &QMenu::aboutToShow, this, &QtSettingsMenu::UpdateStates);
    return submenu;
}

void QtSettingsMenu::MakeOneOf(std::initializer_list<QAction*> choices) {
    auto* group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (QAction* action : choices) {
        group->addAction(action);
    }
}

void QtSettingsMenu::UpdateStates() {
    for (const auto& [action, item] : checked_) {
        const MenuItemState state = commands_.State(item);
        action->setEnabled(state.enabled);
        action->setChecked(state.checked);
    }
}

void QtSettingsMenu::AddLevelItems() {
    SettingsMenuCommands& c = commands_;
    AddItem(this, 32775, "CF Step Size", [&c] { c.OnCfStepSize(); });
    AddItem(this, 32776, "Ref Lvl Step", [&c] { c.OnRefLevelStep(); });
    AddCheckedItem(this, 32816, "Ref Lvl Offset", SettingsMenuItem::RefLevelOffset,
                   [&c] { c.OnRefLevelOffset(); });
    AddCheckedItem(this, 32825, "RF Preamplifier", SettingsMenuItem::RfPreamplifier,
                   [&c] { c.OnRfPreamplifier(); });
    AddItem(this, 32777, "Span / RBW ", [&c] { c.OnSpanRbwRatio(); });
    AddItem(this, 32785, "Sweep Time", [&c] { c.OnSweepTime(); });
}

void QtSettingsMenu::AddModeSubmenus() {
    SettingsMenuCommands& c = commands_;
    QMenu* track = AddSubmenu("Signal Track");
    MakeOneOf({AddCheckedItem(track, 32780, "ON", SettingsMenuItem::SignalTrackOn,
                              [&c] { c.OnSignalTrack(true); }),
               AddCheckedItem(track, 32781, "OFF", SettingsMenuItem::SignalTrackOff,
                              [&c] { c.OnSignalTrack(false); })});
    QMenu* averaging = AddSubmenu("Video Averaging");
    MakeOneOf({AddCheckedItem(averaging, 32782, "1", SettingsMenuItem::VideoAveraging1,
                              [&c] { c.OnVideoAveraging(1); }),
               AddCheckedItem(averaging, 32783, "10", SettingsMenuItem::VideoAveraging10,
                              [&c] { c.OnVideoAveraging(10); }),
               AddCheckedItem(averaging, 32784, "100", SettingsMenuItem::VideoAveraging100,
                              [&c] { c.OnVideoAveraging(100); })});
    // RealTime is a switch of its own beside the ON / OFF choice.
    QMenu* image = AddSubmenu("Image Suppression");
    MakeOneOf({AddCheckedItem(image, 32786, "ON", SettingsMenuItem::ImageSuppressionOn,
                              [&c] { c.OnImageSuppression(true); }),
               AddCheckedItem(image, 32787, "OFF", SettingsMenuItem::ImageSuppressionOff,
                              [&c] { c.OnImageSuppression(false); })});
    AddCheckedItem(image, 32788, "RealTime", SettingsMenuItem::ImageSuppressionRealtime,
                   [&c] { c.OnRealtime(); });
}

void QtSettingsMenu::AddSyncTrigAndColourSubmenus() {
    SettingsMenuCommands& c = commands_;
    QMenu* syncTrig = AddSubmenu("SYNC / TRIG");
    MakeOneOf({AddCheckedItem(syncTrig, 32794, "TRIG IN", SettingsMenuItem::SyncTrigIn,
                              [&c] { c.OnSyncTrig(3); }),
               AddCheckedItem(syncTrig, 32795, "SYNC OUT", SettingsMenuItem::SyncTrigSyncOut,
                              [&c] { c.OnSyncTrig(2); }),
               AddCheckedItem(syncTrig, 32796, "OFF", SettingsMenuItem::SyncTrigOff,
                              [&c] { c.OnSyncTrig(0); })});
    QMenu* colours = AddSubmenu("Color Scheme");
    MakeOneOf({AddCheckedItem(colours, 32812, "KVO", SettingsMenuItem::ColorSchemeKvo,
                              [&c] { c.OnColorScheme(false); }),
               AddCheckedItem(colours, 32813, "CLASSIC", SettingsMenuItem::ColorSchemeClassic,
                              [&c] { c.OnColorScheme(true); })});
}

void QtSettingsMenu::AddLastItems() {
    SettingsMenuCommands& c = commands_;
    AddCheckedItem(this, 32814, "Counter", SettingsMenuItem::Counter, [&c] { c.OnCounter(); });
    AddItem(this, 32815, "Set Marker Freq", [&c] { c.OnSetMarkerFreq(); });
    AddItem(this, 32823, "Downconverter Offset", [&c] { c.OnDownconverterOffset(); });
}

}  // namespace tavlin
