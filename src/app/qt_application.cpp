#include "app/qt_application.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <exception>
#include <thread>

#include "app/qt_file_menu.h"
#include "app/qt_main_frame.h"
#include "app/qt_session_memory.h"
#include "document/analyzer_document.h"
#include "panel/qt_front_panel.h"
#include "view/qt_plot_view.h"
#include "view/qt_waterfall_view.h"

namespace tavlin {

void QtApplication::SetSettingsKey() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kName));
}

QtApplication::QtApplication(UsbDriver& usb, Clock& clock, Prompter* unattended)
    : usb_(usb), clock_(clock), unattended_(unattended) {}

QtApplication::~QtApplication() {
    if (doc_) {
        doc_->SetCloseHandler({});
    }
    if (frame_) {
        frame_->close();
        frame_.reset();
    }
    // Nobody answers boxes any more: a thread still waiting for one gets the
    // default answer, so the document's sweep thread can be joined.
    screenPrompter_.ShutDown();
    doc_.reset();
}

bool QtApplication::Start(const std::string& stateFile, StartSession session) {
    theme_.Apply(session.theme.value_or(session.remember ? QtSessionMemory::RememberedTheme()
                                                         : ThemeChoice::kLight));
    BuildDocument(unattended_ != nullptr ? *unattended_ : screenPrompter_);
    if (doc_->CloseRequested()) {
        return false;  // "TAVLIN NOT FOUND": no window
    }
    if (progress_.Cancelled()) {
        doc_->CloseDocument();  // the link is reset as at any other end
        return false;
    }
    doc_->SetWaitHook(screenPrompter_.WaitHook());
    doc_->SetRecorderName("tavlin " + QCoreApplication::applicationVersion().toStdString());
    if (session.restore || session.remember) {
        QtSessionMemory::SetAsideDamagedSettings(doc_->GetPrompter());
    }
    frame_ = std::make_unique<QtMainFrame>(*doc_);
    frame_->AddThemeMenu(theme_);
    ConnectFrame();
    const QByteArray geometry =
        session.restore ? QtSessionMemory::Restore(*frame_, *doc_) : QByteArray();
    if (session.remember) {
        frame_->SetBeforeClose([this] { QtSessionMemory::Remember(*frame_, *doc_); });
    }
    if (!stateFile.empty()) {
        frame_->FileMenu().RecallStateFile(QString::fromStdString(stateFile));
    }
    if (closing_) {
        return false;  // the signal came while the recall's box was open
    }
    frame_->Place(geometry);
    return true;
}

// The first start reads the instrument's calibration memory for several
// seconds. The document is built on a thread of its own meanwhile, and this
// thread turns its event loop: the progress dialog is painted and moves, and
// the connection messages the builder asks for are shown. The builder always
// ends: every read has its time-out, and a given-up start stops the
// calibration read and answers any later message with its default.
void QtApplication::BuildDocument(Prompter& prompter) {
    // The progress dialog may be the only window: closing it gives up the
    // start rather than ending the event loop the builder is waited in.
    const bool quitOnLastWindow = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    const QMetaObject::Connection closed =
        QObject::connect(progress_.Dialog(), &QDialog::rejected, [this] { GiveUpStart(); });
    starting_ = true;
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread builder([&] {
        try {
            doc_ = std::make_unique<AnalyzerDocument>(
                DocumentPorts{usb_, clock_, prompter, views_, progress_});
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    builder.join();
    starting_ = false;
    QObject::disconnect(closed);
    QGuiApplication::setQuitOnLastWindowClosed(quitOnLastWindow);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void QtApplication::GiveUpStart() {
    progress_.Cancel();
    // Nobody is going to read the rest: a box the builder waits on now, or
    // asks for later, takes its default answer.
    screenPrompter_.ShutDown();
    if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        box->reject();
    }
}

// The signal may come while a box is open, with a remote command or the
// sweep waiting on it, or with the start itself waiting on it before the
// window exists (a kept settings file set aside): nobody is going to answer
// it now, so its caller gets the default answer and goes on, and the window
// can stop the threads.
void QtApplication::Close() {
    closing_ = true;
    if (starting_) {
        GiveUpStart();
        return;
    }
    screenPrompter_.ShutDown();
    if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        box->reject();
    }
    if (frame_) {
        frame_->close();
    }
}

void QtApplication::ConnectFrame() {
    screenPrompter_.SetParentWidget(frame_.get());
    QtPlotView* view = &frame_->View();
    QObject::connect(&views_, &QtViewNotifier::updateAllViews, view, &QtPlotView::RequestRepaint);
    QObject::connect(&views_, &QtViewNotifier::traceInvalidated, view, &QtPlotView::RequestRepaint);
    QtWaterfallView* waterfall = &frame_->Waterfall();
    QObject::connect(&views_, &QtViewNotifier::updateAllViews, waterfall,
                     &QtWaterfallView::RequestRepaint);
    QObject::connect(&views_, &QtViewNotifier::traceInvalidated, waterfall,
                     &QtWaterfallView::RequestRepaint);
    // The mode buttons show a change made anywhere: a menu, the automation
    // language, a recalled state, the end of a sweep.
    QtFrontPanel* panel = &frame_->Panel();
    QObject::connect(&views_, &QtViewNotifier::updateAllViews, panel, &QtFrontPanel::SyncModes);
    QObject::connect(&views_, &QtViewNotifier::traceInvalidated, panel, &QtFrontPanel::SyncModes);
    // A reset that finds the instrument gone ends the program; the request
    // may come from any thread, the window closes on its own.
    QPointer<QtMainFrame> frame = frame_.get();
    doc_->SetCloseHandler([frame] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [frame] {
                if (frame) {
                    frame->close();
                }
            },
            Qt::QueuedConnection);
    });
}

}  // namespace tavlin
