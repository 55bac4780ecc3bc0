#include "app/qt_level_menu.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <memory>
#include <utility>

#include "ports/prompter.h"

namespace tavlin {

namespace {

constexpr const char* kUnitKey = "Levels/unit";
constexpr const char* kTransducerKey = "Levels/transducer";
constexpr const char* kCaption = "TRANSDUCER";

}  // namespace

QtLevelMenu::QtLevelMenu(QMenu& viewMenu, Prompter& prompter, Apply apply)
    : QObject(&viewMenu), prompter_(prompter), apply_(std::move(apply)) {
    viewMenu.addSeparator();
    AddUnitMenu(viewMenu);
    QAction* load = viewMenu.addAction(QStringLiteral("Transducer..."));
    load->setObjectName(QStringLiteral("loadTransducer"));
    load->setStatusTip(QStringLiteral("Correct every level by a table of dB against frequency"));
    connect(load, &QAction::triggered, this, &QtLevelMenu::LoadTransducer);
    transducerOff_ = viewMenu.addAction(QStringLiteral("Transducer Off"));
    transducerOff_->setObjectName(QStringLiteral("transducerOff"));
    connect(transducerOff_, &QAction::triggered, this, &QtLevelMenu::TransducerOff);
    Changed();
}

void QtLevelMenu::AddUnitMenu(QMenu& viewMenu) {
    QMenu* menu = viewMenu.addMenu(QStringLiteral("Amplitude Units"));
    menu->setObjectName(QStringLiteral("amplitudeUnits"));
    units_ = new QActionGroup(this);
    for (const LevelUnit unit : kLevelUnits) {
        QAction* action = menu->addAction(QString::fromUtf8(LevelUnitLabel(unit)));
        action->setObjectName(QStringLiteral("unit ") + QString::fromUtf8(LevelUnitKey(unit)));
        action->setCheckable(true);
        action->setData(static_cast<int>(unit));
        units_->addAction(action);
        connect(action, &QAction::triggered, this, [this, unit] { SetUnit(unit); });
    }
}

void QtLevelMenu::LoadTransducer() {
    const QString path =
        QFileDialog::getOpenFileName(nullptr, QStringLiteral("Load Transducer"), QString(),
                                     QStringLiteral("Transducer tables (*.csv);;All files (*)"));
    if (!path.isEmpty()) {
        LoadTransducerFile(path);
    }
}

bool QtLevelMenu::LoadTransducerFile(const QString& path) {
    const std::string error = TakeTransducer(path);
    if (!error.empty()) {
        prompter_.Inform(error, "UNABLE TO OPEN");
    }
    return error.empty();
}

std::string QtLevelMenu::TakeTransducer(const QString& path) {
    TransducerTable::Parse parse = TransducerTable::FromFile(path.toStdString());
    if (!parse.table) {
        return parse.error;
    }
    // Kept by its whole path: the next start may be made from another folder.
    levels_.SetTransducer(std::make_shared<const TransducerTable>(std::move(*parse.table)),
                          QFileInfo(path).absoluteFilePath().toStdString());
    Changed();
    return {};
}

void QtLevelMenu::TransducerOff() {
    levels_.SetTransducer(nullptr);
    Changed();
}

bool QtLevelMenu::SetUnit(LevelUnit unit) {
    if (!levels_.SetUnit(unit)) {
        prompter_.Inform(
            "Field strength needs an antenna factor: load a transducer table "
            "whose unit is dB/m.",
            kCaption);
        Changed();  // the menu shows the unit still in use
        return false;
    }
    Changed();
    return true;
}

void QtLevelMenu::Changed() {
    for (QAction* action : units_->actions()) {
        const auto unit = static_cast<LevelUnit>(action->data().toInt());
        action->setEnabled(levels_.Offers(unit));
        action->setChecked(unit == levels_.Unit());
    }
    transducerOff_->setEnabled(levels_.Transducer() != nullptr);
    if (apply_) {
        apply_(levels_);
    }
}

void QtLevelMenu::Remember() const {
    QSettings settings;
    settings.setValue(kUnitKey, QString::fromUtf8(LevelUnitKey(levels_.Unit())));
    settings.setValue(kTransducerKey, QString::fromStdString(levels_.TransducerPath()));
}

void QtLevelMenu::Restore() {
    const QSettings settings;
    const QString path = settings.value(kTransducerKey).toString();
    if (!path.isEmpty()) {
        if (const std::string error = TakeTransducer(path); !error.empty()) {
            prompter_.Inform(error + "\nThe transducer is off.", kCaption);
        }
    }
    // Field strength without its antenna reads as the level it was made from.
    if (const auto unit = LevelUnitOfKey(settings.value(kUnitKey).toString().toStdString())) {
        levels_.SetUnit(levels_.Offers(*unit) ? *unit : LevelUnit::kDbuv);
        Changed();
    }
}

}  // namespace tavlin
