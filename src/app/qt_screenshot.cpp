#include "app/qt_screenshot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QThread>
#include <QTimer>
#include <iostream>

#include "app/qt_application.h"
#include "app/qt_main_frame.h"
#include "document/analyzer_document.h"
#include "remote/command_script.h"
#include "remote/stream_reply_sink.h"

namespace tavlin {

namespace {

constexpr int kPollMs = 10;
constexpr int kDialogSettleMs = 200;

// Lets the window take what the sweep thread and the commands asked for
// (repaints, layout) before the picture is taken.
void DeliverPendingEvents() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// The dialog on top: a modal one, or a window of its own such as the peak
// table, which opens without a loop of its own.
QWidget* OpenDialog(const QWidget& frame) {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != &frame && window->isVisible() && qobject_cast<QDialog*>(window) != nullptr) {
            return window;
        }
    }
    return nullptr;
}

// The marker table refreshes its readings four times a second: the picture
// waits for a refresh after the last sweep.
void SettleForPicture() {
    constexpr int kPanelRefreshMs = 300;
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < kPanelRefreshMs) {
        DeliverPendingEvents();
    }
}

}  // namespace

// A command that reads the trace or places a marker (MAR:PEA) would read the
// preset's empty trace: the first of the sweeps runs before it.
int QtScreenshot::Take(QtApplication& application, const Request& request) {
    if (!request.windowSize.isEmpty()) {
        application.Frame().resize(request.windowSize);
    }
    DeliverPendingEvents();
    StreamReplySink replies(std::cout);
    CommandScript script(application.Document(), replies, std::cerr, "tavlin");
    int sweepsLeft = request.sweeps;
    bool sweepsEnded = true;
    script.BeforeFirstTraceRead([&] {
        if (sweepsLeft > 0) {
            --sweepsLeft;
            sweepsEnded = SweepOnce(application);
        }
    });
    script.RunTexts(request.commands);
    const bool allRecognised = script.ExitStatus() != CommandScript::kUnrecognized;
    for (; sweepsLeft > 0 && sweepsEnded; --sweepsLeft) {
        sweepsEnded = SweepOnce(application);
    }
    if (!sweepsEnded) {
        std::cerr << "tavlin: a sweep did not end within " << kSweepLimitMs / 1000
                  << " s; no screenshot\n";
        return 1;
    }
    for (const QString& caption : request.presses) {
        QAbstractButton* button = PanelButton(application, caption);
        QAction* item = button == nullptr ? MenuItem(application, caption) : nullptr;
        if (button == nullptr && item == nullptr) {
            std::cerr << "tavlin: no front-panel button or menu item \"" << caption.toStdString()
                      << "\"; no screenshot\n";
            return 1;
        }
        PressAcceptingDialogs(
            [button, item] { button != nullptr ? button->click() : item->trigger(); });
        // A press of SINGLE is a sweep like the others: the next press, and
        // the picture, come after its end.
        if (!WaitForSweepEnd(application)) {
            std::cerr << "tavlin: a sweep did not end within " << kSweepLimitMs / 1000
                      << " s; no screenshot\n";
            return 1;
        }
        DeliverPendingEvents();
    }
    SettleForPicture();
    if (!request.dialogButton.isEmpty()) {
        const QImage picture = PictureWithDialog(application, request);
        if (picture.isNull()) {
            std::cerr << "tavlin: no front-panel button or menu item \""
                      << request.dialogButton.toStdString()
                      << "\" opens a dialog (with that button); no screenshot\n";
            return 1;
        }
        if (!WriteImage(picture, request.pngPath)) {
            return 1;
        }
    } else if (!WriteWindow(application, request.pngPath)) {
        return 1;
    }
    return allRecognised ? 0 : 2;
}

// A sweep that a command left running (CONTINUOUS) is turned into this
// single one; either way the wait ends when the sweep thread has.
bool QtScreenshot::SweepOnce(QtApplication& application) {
    application.Document().OnSingle();
    return WaitForSweepEnd(application);
}

bool QtScreenshot::WaitForSweepEnd(QtApplication& application) {
    AnalyzerDocument& doc = application.Document();
    QElapsedTimer elapsed;
    elapsed.start();
    while (doc.SweepRunning()) {
        if (elapsed.elapsed() > kSweepLimitMs) {
            doc.StopAfterThisPass();
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
        QThread::msleep(kPollMs);
    }
    return true;
}

// The dialog runs its own event loop: the picture is taken from inside it,
// once the dialog has been laid out and painted, and the dialog is then
// cancelled, so nothing it would set changes.
QImage QtScreenshot::PictureWithDialog(QtApplication& application, const Request& request) {
    QtMainFrame& frame = application.Frame();
    QAbstractButton* button = PanelButton(application, request.dialogButton);
    QAction* item = button == nullptr ? MenuItem(application, request.dialogButton) : nullptr;
    if (button == nullptr && item == nullptr) {
        return {};
    }
    QImage picture;
    const auto take = [&frame, &picture] {
        QWidget* dialog = OpenDialog(frame);
        if (dialog == nullptr) {
            return;
        }
        picture = frame.grab().toImage();
        QPainter painter(&picture);
        painter.drawPixmap(frame.mapFromGlobal(dialog->mapToGlobal(QPoint(0, 0))), dialog->grab());
        painter.end();
        dialog->close();
    };
    QTimer::singleShot(kDialogSettleMs, &frame, [&request, &frame, take] {
        QWidget* dialog = OpenDialog(frame);
        if (dialog == nullptr || request.dialogPress.isEmpty()) {
            take();
            return;
        }
        for (QPushButton* inner : dialog->findChildren<QPushButton*>()) {
            if (inner->text() == request.dialogPress) {
                inner->click();
                QTimer::singleShot(request.dialogRunMs, &frame, take);
                return;
            }
        }
        dialog->close();  // no such button: no picture
    });
    button != nullptr ? button->click() : item->trigger();
    QElapsedTimer settling;
    settling.start();
    while (picture.isNull() && settling.elapsed() < 2 * kDialogSettleMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    }
    return picture;
}

// "Menu/Item", or "Menu/Submenu/.../Item" for an item of a submenu.
QAction* QtScreenshot::MenuItem(QtApplication& application, const QString& path) {
    const QStringList names = path.split(QLatin1Char('/'));
    if (names.size() < 2) {
        return nullptr;
    }
    const auto plain = [](QString text) { return text.remove(QLatin1Char('&')); };
    const auto named = [&plain](const QList<QAction*>& actions, const QString& name) -> QAction* {
        for (QAction* action : actions) {
            if (plain(action->text()) == name && action->isEnabled()) {
                return action;
            }
        }
        return nullptr;
    };
    QAction* action = named(application.Frame().menuBar()->actions(), names[0]);
    for (qsizetype i = 1; i < names.size(); ++i) {
        if (action == nullptr || action->menu() == nullptr) {
            return nullptr;
        }
        action = named(action->menu()->actions(), names[i]);
    }
    return action != nullptr && action->menu() == nullptr ? action : nullptr;
}

// A button or menu item that opens entry dialogs (ZERO SPAN, Channel Power)
// gets each one confirmed with Return, as a user taking the offered values
// would.
void QtScreenshot::PressAcceptingDialogs(const std::function<void()>& press) {
    QTimer confirm;
    confirm.setInterval(kDialogSettleMs);
    QObject::connect(&confirm, &QTimer::timeout, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            QWidget* target = dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog;
            QCoreApplication::postEvent(
                target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
        }
    });
    confirm.start();
    press();
}

// A push button or a check box of the window (the panel, the docks).
QAbstractButton* QtScreenshot::PanelButton(QtApplication& application, const QString& caption) {
    for (QAbstractButton* candidate : application.Frame().findChildren<QAbstractButton*>()) {
        if (candidate->text() == caption && candidate->isEnabled()) {
            return candidate;
        }
    }
    return nullptr;
}

bool QtScreenshot::WriteWindow(QtApplication& application, const QString& path) {
    return WriteImage(application.Frame().grab().toImage(), path);
}

bool QtScreenshot::WriteImage(const QImage& picture, const QString& path) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit()) {
        return true;
    }
    std::cerr << "tavlin: cannot write " << path.toStdString() << ": "
              << file.errorString().toStdString() << "\n";
    return false;
}

}  // namespace tavlin
