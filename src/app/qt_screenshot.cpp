#include "app/qt_screenshot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QSaveFile>
#include <QThread>
#include <iostream>

#include "app/qt_application.h"
#include "app/qt_main_frame.h"
#include "document/analyzer_document.h"
#include "remote/command_script.h"
#include "remote/stream_reply_sink.h"

namespace tavlin {

namespace {

constexpr int kPollMs = 10;

// Lets the window take what the sweep thread and the commands asked for
// (repaints, layout) before the picture is taken.
void DeliverPendingEvents() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

}  // namespace

int QtScreenshot::Take(QtApplication& application, const Request& request) {
    if (!request.windowSize.isEmpty()) {
        application.Frame().resize(request.windowSize);
    }
    DeliverPendingEvents();
    StreamReplySink replies(std::cout);
    CommandScript script(application.Document(), replies);
    script.RunTexts(request.commands);
    const bool allRecognised = script.ExitStatus() != CommandScript::kUnrecognized;
    for (int sweep = 0; sweep < request.sweeps; ++sweep) {
        if (!SweepOnce(application)) {
            std::cerr << "tavlin: a sweep did not end within " << kSweepLimitMs / 1000
                      << " s; no screenshot\n";
            return 1;
        }
    }
    DeliverPendingEvents();
    if (!WriteWindow(application, request.pngPath)) {
        return 1;
    }
    return allRecognised ? 0 : 2;
}

// A sweep that a command left running (CONTINUOUS) is turned into this
// single one; either way the wait ends when the sweep thread has.
bool QtScreenshot::SweepOnce(QtApplication& application) {
    AnalyzerDocument& doc = application.Document();
    doc.OnSingle();
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

bool QtScreenshot::WriteWindow(QtApplication& application, const QString& path) {
    const QImage picture = application.Frame().grab().toImage();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit()) {
        return true;
    }
    std::cerr << "tavlin: cannot write " << path.toStdString() << ": "
              << file.errorString().toStdString() << "\n";
    return false;
}

}  // namespace tavlin
