#include "app/qt_screenshot.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
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
        QPushButton* button = PanelButton(application, caption);
        if (button == nullptr) {
            std::cerr << "tavlin: no front-panel button \"" << caption.toStdString()
                      << "\"; no screenshot\n";
            return 1;
        }
        PressAcceptingDialogs(*button);
        // A press of SINGLE is a sweep like the others: the next press, and
        // the picture, come after its end.
        if (!WaitForSweepEnd(application)) {
            std::cerr << "tavlin: a sweep did not end within " << kSweepLimitMs / 1000
                      << " s; no screenshot\n";
            return 1;
        }
        DeliverPendingEvents();
    }
    DeliverPendingEvents();
    if (!request.dialogButton.isEmpty()) {
        const QImage picture = PictureWithDialog(application, request.dialogButton);
        if (picture.isNull()) {
            std::cerr << "tavlin: no front-panel button \"" << request.dialogButton.toStdString()
                      << "\" opens an entry dialog; no screenshot\n";
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
            doc.stopRequest = 1;
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
QImage QtScreenshot::PictureWithDialog(QtApplication& application, const QString& button) {
    QtMainFrame& frame = application.Frame();
    QPushButton* target = PanelButton(application, button);
    if (target == nullptr) {
        return {};
    }
    QImage picture;
    QTimer::singleShot(kDialogSettleMs, &frame, [&frame, &picture] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) {
            return;
        }
        picture = frame.grab().toImage();
        QPainter painter(&picture);
        painter.drawPixmap(frame.mapFromGlobal(dialog->mapToGlobal(QPoint(0, 0))), dialog->grab());
        painter.end();
        dialog->close();
    });
    target->click();
    return picture;
}

// A button that opens entry dialogs (ZERO SPAN) gets each one confirmed with
// Return, as a user taking the offered values would.
void QtScreenshot::PressAcceptingDialogs(QPushButton& button) {
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
    button.click();
}

QPushButton* QtScreenshot::PanelButton(QtApplication& application, const QString& caption) {
    for (QPushButton* candidate : application.Frame().findChildren<QPushButton*>()) {
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
