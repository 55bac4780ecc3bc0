#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "document/document_fixture.h"
#include "support/document_access.h"
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
            const AnalyzerDocument* d = watched_.load();
            // The sweep thread's own commands are not the panel's.
            if (handle == FakeCalMemory::kCommandHandle && d != nullptr &&
                std::this_thread::get_id() == testThread_) {
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
    // The message boxes shown, "caption|text" each.
    std::vector<std::string> Boxes() const {
        std::vector<std::string> boxes;
        for (const auto& box : prompter.Boxes()) {
            boxes.push_back(box.caption + "|" + box.text);
        }
        return boxes;
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
