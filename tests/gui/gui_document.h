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

// A document on the virtual instrument (the built-in scene, or a scene
// file) with virtual time, for the window's
// tests. The prompter is the caller's: a recording one, or the Qt one.
class GuiDocument {
  public:
    explicit GuiDocument(Prompter& prompter, ViewNotifier* views = nullptr,
                         ProgressSink* progress = nullptr, const std::string& scenePath = {})
        : cacheDir_(MakeTestDirectory("tavlin-gui")) {
        std::string error;
        usb_ = sim::MakeVirtualInstrument(clock_, scenePath, error);
        if (!usb_) {
            throw std::runtime_error(error);
        }
        counter_ = std::make_unique<CountingUsbDriver>(*usb_);
        doc_ = std::make_unique<AnalyzerDocument>(
            DocumentPorts{*counter_, clock_, prompter, views != nullptr ? *views : views_,
                          progress != nullptr ? *progress : progress_},
            cacheDir_);
    }
    ~GuiDocument() {
        doc_.reset();
        std::filesystem::remove_all(cacheDir_);
    }
    GuiDocument(const GuiDocument&) = delete;
    GuiDocument& operator=(const GuiDocument&) = delete;

    AnalyzerDocument& Doc() { return *doc_; }
    FakeClock& Clock() { return clock_; }
    int Writes() const { return counter_->writes.load(); }
    RecordingViewNotifier& Views() { return views_; }
    const std::filesystem::path& Directory() const { return cacheDir_; }

  private:
    std::filesystem::path cacheDir_;
    FakeClock clock_;
    std::unique_ptr<UsbDriver> usb_;
    std::unique_ptr<CountingUsbDriver> counter_;
    RecordingViewNotifier views_;
    NullProgressSink progress_;
    std::unique_ptr<AnalyzerDocument> doc_;
};

}  // namespace tavlin::test
