#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "support/document_access.h"
#include "support/fake_cal_memory.h"
#include "support/fake_clock.h"
#include "support/recording_progress_sink.h"
#include "support/recording_prompter.h"
#include "support/recording_view_notifier.h"
#include "support/scripted_usb_driver.h"
#include "support/test_directory.h"

namespace tavlin::test {

// A document on a scripted instrument: a genuine channel pair whose command
// channel answers the version query and the calibration memory reads.
class DocumentFixture : public ::testing::Test {
  protected:
    DocumentFixture() {
        cacheDir = MakeTestDirectory("tavlin-doc");
        calMemory.FillPattern();
        auto memoryHook = usb.onWrite;
        usb.onWrite = [this, memoryHook](UsbHandle handle, const std::vector<std::uint8_t>& frame) {
            if (handle == FakeCalMemory::kCommandHandle && UnSlip(frame) == Bytes{'V'}) {
                usb.QueueReceive(handle, Bytes(firmware.begin(), firmware.end()));
            }
            memoryHook(handle, frame);
        };
    }
    ~DocumentFixture() override {
        doc.reset();
        std::filesystem::remove_all(cacheDir);
    }

    using Bytes = std::vector<std::uint8_t>;

    AnalyzerDocument& Build() {
        doc = std::make_unique<AnalyzerDocument>(
            DocumentPorts{usb, clock, prompter, views, progress}, cacheDir);
        return *doc;
    }
    AnalyzerDocument& BuildWithInstrument() {
        usb.AddGenuinePair();
        return Build();
    }
    // The trace and markers go through these, so the tests do not depend on
    // how the document keeps them.
    template <typename Edit>
    void EditTrace(Edit&& edit) {
        doc->EditTrace([&edit](ScreenState& s) { edit(s.trace); });
    }
    void FillTrace(double row) {
        EditTrace([row](SweepTrace& t) { t.traceA.fill(row); });
    }
    MarkerState Markers() { return MarkerCommands(*doc).Snapshot(); }
    // Passes of 20 ms that count themselves and note whether `probe` read
    // another value at the end of a pass than at its start. A held pass also
    // lasts 50 ms of real time, long enough for another thread to act while
    // it runs (see WaitForPassInProgress).
    template <typename Probe>
    void WatchPasses(Probe probe, bool hold = false) {
        doc->SetSweepPass([this, probe, hold] {
            const auto before = probe();
            inPass = true;
            clock.SleepMs(20);
            if (hold) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            changedDuringPass = changedDuringPass || probe() != before;
            inPass = false;
            ++passes;
        });
    }
    void WaitForPassInProgress() {
        while (!inPass.load()) {
            std::this_thread::yield();
        }
    }
    void WaitForPasses(int count) {
        while (passes.load() < count) {
            std::this_thread::yield();
        }
    }
    std::vector<Bytes> CommandsSent() {
        std::vector<Bytes> commands;
        for (const auto& frame : usb.Writes(FakeCalMemory::kCommandHandle)) {
            commands.push_back(UnSlip(frame));
        }
        return commands;
    }

    std::string firmware = "Tavlin 2.03";
    std::filesystem::path cacheDir;
    ScriptedUsbDriver usb;
    FakeClock clock;
    FakeCalMemory calMemory{usb};
    RecordingPrompter prompter;
    RecordingViewNotifier views;
    RecordingProgressSink progress;
    std::atomic<int> passes{0};
    std::atomic<bool> changedDuringPass{false};
    std::atomic<bool> inPass{false};
    std::unique_ptr<AnalyzerDocument> doc;
};

}  // namespace tavlin::test
