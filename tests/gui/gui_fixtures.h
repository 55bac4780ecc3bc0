#pragma once

// What the window's tests stand on: a document on the virtual instrument,
// and an answerer for the modal boxes and dialogs the code opens.
#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QImage>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "document/analyzer_document.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "sim/make_virtual_instrument.h"
#include "support/document_access.h"
#include "support/fake_clock.h"
#include "support/forwarding_usb_driver.h"
#include "support/recording_view_notifier.h"
#include "support/test_directory.h"

namespace tavlin::test {

// The pixels of an area within a tolerance of a colour; kTextTolerance takes
// in the smoothed edges of text.
constexpr int kTextTolerance = 90;
inline int Count(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 0) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor p = image.pixelColor(x, y);
            count += std::abs(p.red() - colour.red()) <= tolerance &&
                     std::abs(p.green() - colour.green()) <= tolerance &&
                     std::abs(p.blue() - colour.blue()) <= tolerance;
        }
    }
    return count;
}

// Counts what the program writes to the unit, on either channel.
class CountingUsbDriver final : public ForwardingUsbDriver {
  public:
    using ForwardingUsbDriver::ForwardingUsbDriver;
    int Write(UsbHandle h, const std::uint8_t* d, std::size_t n, std::size_t& w) override {
        ++writes;
        return inner_.Write(h, d, n, w);
    }
    std::atomic<int> writes{0};
};

// A document on the built-in scene of the virtual instrument, with virtual
// time, for the window's tests. The prompter is the caller's: a recording
// one, or the Qt one.
class GuiDocument {
  public:
    explicit GuiDocument(Prompter& prompter) : directory_(MakeTestDirectory("tavlin-gui")) {
        std::string error;
        usb_ = sim::MakeVirtualInstrument(clock_, {}, error);
        if (!usb_) {
            throw std::runtime_error(error);
        }
        counter_ = std::make_unique<CountingUsbDriver>(*usb_);
        doc_ = std::make_unique<AnalyzerDocument>(
            DocumentPorts{*counter_, clock_, prompter, views_, progress_}, directory_);
    }
    ~GuiDocument() {
        doc_.reset();
        std::filesystem::remove_all(directory_);
    }

    AnalyzerDocument& Doc() { return *doc_; }
    int Writes() const { return counter_->writes.load(); }
    const std::filesystem::path& Directory() const { return directory_; }

  private:
    std::filesystem::path directory_;
    FakeClock clock_;
    std::unique_ptr<UsbDriver> usb_;
    std::unique_ptr<CountingUsbDriver> counter_;
    RecordingViewNotifier views_;
    NullProgressSink progress_;
    std::unique_ptr<AnalyzerDocument> doc_;
};

// Answers the modal boxes and dialogs the code under test opens, from the
// GUI thread's event loop (a box's own loop included): a message box gets
// Yes, or else OK, and is recorded; other dialogs go to a handler, which by
// default cancels them.
class ModalAnswerer : public QObject {
  public:
    ModalAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { AnswerActiveModal(); });
        timer_.start(5);
    }

    void OnDialog(std::function<void(QDialog&)> handler) { dialogHandler_ = std::move(handler); }

    QStringList boxes;  // "caption: text"

  private:
    void AnswerActiveModal() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->windowTitle() + ": " + box->text();
            QAbstractButton* button = box->button(QMessageBox::Yes);
            button = button != nullptr ? button : box->button(QMessageBox::Ok);
            if (button != nullptr) {
                button->click();
            }
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialogHandler_ ? dialogHandler_(*dialog) : dialog->reject();
        }
    }

    QTimer timer_;
    std::function<void(QDialog&)> dialogHandler_;
};

}  // namespace tavlin::test
