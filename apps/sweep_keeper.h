#pragma once

#include "document/analyzer_document.h"
#include "ports/log.h"
#include "unit_usb_driver.h"

namespace tavlin {

// Answering ERROR 6 with Yes resets the link and stops the sweep, as a
// person at the window would then press CONTINUOUS. Nobody is there: once
// the unit's channels have been opened again the sweep goes on under the
// same settings. A sweep a client stopped on a link that was not reset
// stays stopped, and a utility's sweeps are its own.
class SweepKeeper {
  public:
    SweepKeeper(AnalyzerDocument& document, const UnitUsbDriver& usb)
        : document_(document), usb_(usb), opened_(usb.ChannelsOpened()) {}

    void Check() {
        if (document_.SweepRunning() || document_.CloseRequested() ||
            !document_.InstrumentConnected() || document_.UtilityOwns()) {
            return;
        }
        const int opened = usb_.ChannelsOpened();
        if (opened != opened_) {
            opened_ = opened;
            LogInfo("server", "the unit is open again: sweeping on");
            document_.OnContinuous();
        }
    }

  private:
    AnalyzerDocument& document_;
    const UnitUsbDriver& usb_;
    int opened_;
};

}  // namespace tavlin
