#pragma once

namespace tavlin {

// One synthesizer setting of the LO plan: VCO = (intPart + num / den) x 10 MHz,
// divided by 2^div at the output.
struct LoSetting {
    int intPart = 0;
    int num = 0;
    int den = 2;
    int div = 0;
    bool highSide = true;  // the LO lies above the signal
    double wantedHz = 0.0;
    double actualHz = 0.0;
};

// The receiver in the sample-clock mode in force: its two IFs and its
// complex sample rate, each corrected by the timebase.
struct ReceiverConstants {
    double sampleRateHz = 486111.1111;
    double ifFreq1Hz = 10694444.4444;
    double ifFreq2Hz = 2916666.6667;
};

// The plan of one sweep. Preparing the sweep decides the band, the
// sample-clock mode with its receiver constants and the window; the sweep
// kind then fills in its LOs (as planned, or as the unit still holds them),
// the IF it works at and its FFT resolution, and reads them back from here.
struct SweepPlan {
    double startHz = 0.0;
    double stopHz = 0.0;
    int clockMode = 0;
    ReceiverConstants receiver;
    int windowType = 0;  // 0 = flat-top, 1 = four-term Nuttall
    double ifInUse = 10694444.444;
    int decimation = 1;
    int fftSize = 512;
    LoSetting lo1;
    LoSetting lo2;
    bool lo2SecondIf = false;
    // The LOs' residual errors, which the digital shift takes out.
    double lo1ErrorHz = 0.0;
    double lo2ErrorHz = 0.0;
};

}  // namespace tavlin
