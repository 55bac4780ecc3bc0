#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "document/analyzer_document.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "sim/make_virtual_instrument.h"
#include "support/fake_clock.h"
#include "support/forwarding_usb_driver.h"
#include "support/recording_view_notifier.h"
#include "support/test_directory.h"

namespace tavlin::test {

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

}  // namespace tavlin::test
