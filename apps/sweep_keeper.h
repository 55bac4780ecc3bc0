#pragma once

#include "device/device_link.h"
#include "document/analyzer_document.h"
#include "document/sweep_pause.h"
#include "ports/log.h"

namespace tavlin {

// Answering ERROR 6 with Yes resets the link and stops the sweep, as a
// person at the window would then press CONTINUOUS. Nobody is there: once
// the unit has been opened again the sweep goes on under the same settings.
// A sweep a client stopped on a link that was not reset stays stopped.
class SweepKeeper {
  public:
    explicit SweepKeeper(AnalyzerDocument& document) : document_(document), opens_(OpenCount()) {}

    void Check() {
        if (document_.SweepRunning() || document_.CloseRequested() ||
            !document_.InstrumentConnected()) {
            return;
        }
        const int opens = OpenCount();
        if (opens != opens_) {
            opens_ = opens;
            LogInfo("server", "the unit is open again: sweeping on");
            document_.OnContinuous();
        }
    }

  private:
    int OpenCount() {
        SweepPause pause(document_);
        return pause.Instrument().Link().OpenCount();
    }

    AnalyzerDocument& document_;
    int opens_;
};

}  // namespace tavlin
