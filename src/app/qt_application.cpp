#include "app/qt_application.h"

#include <QCoreApplication>
#include <QPointer>

#include "app/qt_file_menu.h"
#include "app/qt_main_frame.h"
#include "document/analyzer_document.h"
#include "view/qt_plot_view.h"

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

bool QtApplication::Start(const std::string& stateFile) {
    Prompter& prompter = unattended_ != nullptr ? *unattended_ : screenPrompter_;
    doc_ = std::make_unique<AnalyzerDocument>(
        DocumentPorts{usb_, clock_, prompter, views_, progress_});
    if (doc_->CloseRequested()) {
        return false;  // "TAVLIN NOT FOUND": no window
    }
    doc_->SetWaitHook(screenPrompter_.WaitHook());
    frame_ = std::make_unique<QtMainFrame>(*doc_);
    ConnectFrame();
    if (!stateFile.empty()) {
        frame_->FileMenu().RecallStateFile(QString::fromStdString(stateFile));
    }
    frame_->Place();
    return true;
}

void QtApplication::ConnectFrame() {
    screenPrompter_.SetParentWidget(frame_.get());
    QtPlotView* view = &frame_->View();
    QObject::connect(&views_, &QtViewNotifier::updateAllViews, view, &QtPlotView::RequestRepaint);
    QObject::connect(&views_, &QtViewNotifier::traceInvalidated, view, &QtPlotView::RequestRepaint);
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
