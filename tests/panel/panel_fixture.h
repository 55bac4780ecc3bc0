#pragma once

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "document/document_fixture.h"
#include "support/scripted_entry_dialogs.h"

namespace tavlin::test {

// A document on the scripted instrument with scripted entry dialogs. It
// records each command the panel (the test's own thread) sends and whether
// the sweep was running at that moment, and whether the sweep was running as
// each dialog opened.
class PanelFixture : public DocumentFixture {
  protected:
    struct Sent {
        Bytes bytes;
        bool sweepRunning;
        bool waitForTrigger;
    };

    PanelFixture() : testThread_(std::this_thread::get_id()) {
        auto earlierHook = usb.onWrite;
        usb.onWrite = [this, earlierHook](UsbHandle handle, const Bytes& frame) {
            earlierHook(handle, frame);
            if (handle != FakeCalMemory::kCommandHandle ||
                std::this_thread::get_id() != testThread_) {
                return;  // the sweep thread's own commands are not the panel's
            }
            const AnalyzerDocument* d = watched_.load();
            if (d != nullptr) {
                sent.push_back({UnSlip(frame), d->SweepRunning(), d->link.waitForTrigger.load()});
            }
        };
    }
    // The sweep passes use this fixture's members: the sweep ends before they do.
    ~PanelFixture() override {
        if (doc) {
            doc->CloseDocument();
        }
        watched_ = nullptr;
    }

    // Ends the sweep when a test's own locals that a pass uses go out of scope:
    // declare it after them.
    class SweepStopper {
      public:
        explicit SweepStopper(AnalyzerDocument& document) : doc_(document) {}
        ~SweepStopper() { doc_.CloseDocument(); }
        SweepStopper(const SweepStopper&) = delete;
        SweepStopper& operator=(const SweepStopper&) = delete;

      private:
        AnalyzerDocument& doc_;
    };

    AnalyzerDocument& BuildPanelDocument() {
        AnalyzerDocument& d = BuildWithInstrument();
        watched_ = &d;
        dialogs.onOpen = [this](const ScriptedEntryDialogs::Opening&) {
            openedWhileSweeping.push_back(doc->SweepRunning());
        };
        views.updates = 0;
        return d;
    }

    // Continuous sweeping with a pass that only counts, and counts the sweep
    // threads: a command that pauses and resumes ends one thread and starts
    // the next.
    void StartSweeping() {
        doc->SetAfterPass([] {});
        doc->SetSweepPass([this] {
            thread_local bool counted = false;
            if (!counted) {
                counted = true;
                ++sweepThreads;
            }
            ++passes;
            clock.SleepMs(20);
        });
        doc->OnContinuous();
        WaitFor([this] { return passes.load() > 0; });
    }

    // Waits (in real time, bounded) until the condition holds.
    template <typename Condition>
    static bool WaitFor(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
    }

    // The commands with this opcode the panel sent.
    std::vector<Sent> SentWith(char opcode) const {
        std::vector<Sent> found;
        for (const Sent& s : sent) {
            if (!s.bytes.empty() && s.bytes.front() == static_cast<std::uint8_t>(opcode)) {
                found.push_back(s);
            }
        }
        return found;
    }

    InstrumentState Settings() const {
        return doc->ReadSettings([](const InstrumentState& s) { return s; });
    }
    template <typename F>
    void Edit(F&& edit) {
        doc->EditSettings(std::forward<F>(edit));
    }

    ScriptedEntryDialogs dialogs;
    std::vector<Sent> sent;
    std::vector<bool> openedWhileSweeping;
    std::atomic<int> passes{0};
    std::atomic<int> sweepThreads{0};

  private:
    std::thread::id testThread_;
    std::atomic<const AnalyzerDocument*> watched_{nullptr};
};

}  // namespace tavlin::test
