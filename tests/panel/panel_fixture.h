#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include "document/document_fixture.h"
#include "support/document_access.h"
#include "support/eventually.h"
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
        bool operator==(const Sent&) const = default;
    };

    PanelFixture() : testThread_(std::this_thread::get_id()) {
        auto earlierHook = usb.onWrite;
        usb.onWrite = [this, earlierHook](UsbHandle handle, const Bytes& frame) {
            earlierHook(handle, frame);
            // The sweep thread's own commands are not the panel's, nor are
            // those of the document's construction and destruction.
            if (handle == FakeCalMemory::kCommandHandle &&
                std::this_thread::get_id() == testThread_ && doc) {
                sent.push_back({UnSlip(frame), doc->SweepRunning(), doc->TriggerWaitArmed()});
            }
        };
    }
    // The sweep passes use this fixture's members: the sweep ends before they do.
    ~PanelFixture() override {
        doc->CloseDocument();
        doc.reset();
    }

    void SetUp() override {
        BuildWithInstrument();
        dialogs.onOpen = [this](const ScriptedEntryDialogs::Opening&) {
            openedWhileSweeping.push_back(doc->SweepRunning());
        };
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
        Eventually([this] { return passes.load() > 0; });
    }

    // The commands with this opcode the panel sent.
    std::vector<Sent> SentWith(char opcode) const {
        std::vector<Sent> found;
        std::ranges::copy_if(sent, std::back_inserter(found),
                             [opcode](const Sent& s) { return s.bytes.at(0) == opcode; });
        return found;
    }

    InstrumentState Settings() const { return doc->Settings(); }
    void Edit(const std::function<void(InstrumentState&)>& edit) { doc->EditSettings(edit); }

    ScriptedEntryDialogs dialogs;
    std::vector<Sent> sent;
    std::vector<bool> openedWhileSweeping;
    std::atomic<int> passes{0};
    std::atomic<int> sweepThreads{0};

  private:
    std::thread::id testThread_;
};

}  // namespace tavlin::test
