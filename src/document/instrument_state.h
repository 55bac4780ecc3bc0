#pragma once

#include <cstdint>
#include <string>

#include "base/reading_flag.h"
#include "dsp/pixel_detector.h"

#include "document/downconverter_offset.h"
#include "document/preset_values.h"

namespace tavlin {

constexpr double kMaxFreqHz = 4.4e9;

// Every setting of the analyzer. The instrument keeps none of its own.
// Centre and span are not stored: centre = (start + stop) / 2, span = stop - start.
//
// startFreqHz and stopFreqHz are a pair that the sweep thread copies while the
// panel, automation and signal track write it: read and write them through
// the document's frequency lock (AnalyzerDocument::Frequencies / SetFrequencies).
struct InstrumentState {
    // Frequency
    double startFreqHz = 0.0;
    double stopFreqHz = 0.0;
    double cfStepHz = 0.0;
    double freqOffsetHz = 0.0;  // downconverter offset, not preset
    DownconverterOffset FreqOffset() const { return {freqOffsetHz}; }

    // Amplitude
    double refLevelDbm = 0.0;
    double refLevelOffsetDb = 0.0;
    double refLevelStepDb = 0.0;
    double dbPerDiv = 0.0;
    int linearScale = 0;
    int refLevelInMv = 0;
    double attenDb = 0.0;
    std::int32_t gainMode = 0;
    bool preampAvailable = false;
    bool preampOn = false;

    // Resolution and timing
    double rbwHz = 0.0;
    double spanRbwRatio = preset::kSpanRbwRatio;
    double sweepTimeSec = 0.0;
    bool settingsChanged = true;

    // Trace, averaging and trigger
    int maxHold = 0;
    // Trace modes beside max hold, and the detector; state files carry
    // none of these, so a recalled state keeps the ones in force.
    int minHold = 0;
    // AVERAGE: the mean power over powerAvgCount sweeps (1: off),
    // powerAvgIndex of them averaged so far.
    std::int32_t powerAvgCount = 1;
    std::int32_t powerAvgIndex = 0;
    Detector detector = Detector::kPeak;
    std::int32_t videoAvgCount = 1;
    std::int32_t videoAvgIndex = 0;
    bool videoTrigger = false;
    double videoTrigThreshold = 0.0;
    std::int32_t syncTrigMode = 0;
    int zeroSpanFm = 0;
    double maxFmOffsetHz = preset::kMaxFmOffsetHz;

    // Modes
    int signalTrack = 0;
    int imageReject = 0;
    int realtimeMode = 0;
    bool counterOn = false;
    double counterFreqHz = 0.0;
    ReadingFlag counterFlag = ReadingFlag::kNone;  // the last reading's, beside it
    bool extRefLocked = false;
    double timebaseCorrection = 1.0;

    // The receiver's constants as the sweep engine, their one home, last
    // chose them: shown here for the trigger level entry, never read back.
    double ifFreq1Hz = 10694444.4444;
    double ifFreq2Hz = 2916666.6667;
    double sampleRateHz = 486111.1111;

    // Title and identity
    std::string title;
    int titleSet = 0;
    std::string deviceSerial;
    std::string firmwareVersion;

    // Listening choices, kept across uses of the Listen dialog.
    bool listenWideIf = true;
    bool listenFm = true;
    double listenDeemphasisUs = 125.0;

    // Automation settings (the connection itself lives in the server).
    int commandPort = 3976;
    int dataPort = 3977;
    std::string automationAddress = "127.0.0.1";
};

}  // namespace tavlin
