#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "view/level_display.h"

class QAction;
class QActionGroup;
class QMenu;

namespace tavlin {

class Prompter;

// View > "Amplitude Units" and "Transducer...": the unit and the transducer
// table the window shows levels with. Every change goes to `apply`, which
// hands it to whatever shows levels. Both are kept in the user's settings
// (group "Levels"), the transducer by its file's path, read again at the
// next start.
class QtLevelMenu final : public QObject {
    Q_OBJECT

  public:
    using Apply = std::function<void(const LevelDisplay&)>;

    QtLevelMenu(QMenu& viewMenu, Prompter& prompter, Apply apply);

    const LevelDisplay& Levels() const { return levels_; }
    // A file that cannot be used is named in a box, and the transducer in
    // use stays.
    bool LoadTransducerFile(const QString& path);
    void TransducerOff();
    // dBuV/m without an antenna factor is refused with a box.
    bool SetUnit(LevelUnit unit);

    void Remember() const;
    // A transducer file gone or spoilt since is told, and the transducer is
    // off; never a reason not to start.
    void Restore();

  private:
    void AddUnitMenu(QMenu& viewMenu);
    void LoadTransducer();
    // Empty when the table is in use, else why not.
    std::string TakeTransducer(const QString& path);
    void Changed();

    Prompter& prompter_;
    Apply apply_;
    LevelDisplay levels_;
    QActionGroup* units_ = nullptr;
    QAction* transducerOff_ = nullptr;
};

}  // namespace tavlin
