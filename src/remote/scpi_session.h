#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/reading_flag.h"
#include "document/extra_markers.h"
#include "document/marker_scale.h"
#include "document/trace_measurements.h"
#include "document/trace_peaks.h"
#include "dsp/pixel_detector.h"
#include "remote/scpi_array_reply.h"
#include "remote/scpi_parser.h"
#include "remote/scpi_power_unit.h"
#include "remote/scpi_status.h"
#include "remote/scpi_utility_runner.h"

namespace tavlin {

class AnalyzerDocument;

// The SCPI command set on the document: each command calls the same
// document operations as the front panel. A session keeps the error queue
// and the standard event status of one server; errors are queued, never
// shown in a message box, since the client asks for them.
class ScpiSession {
  public:
    // Errors with their standard numbers and texts.
    static constexpr int kSyntaxError = -102;
    static constexpr int kDataTypeError = -104;
    static constexpr int kParameterNotAllowed = -108;
    static constexpr int kMissingParameter = -109;
    static constexpr int kUndefinedHeader = -113;
    static constexpr int kSuffixOutOfRange = -114;
    static constexpr int kInvalidSuffix = -131;
    static constexpr int kExecutionError = -200;
    static constexpr int kSettingsConflict = -221;
    static constexpr int kDataOutOfRange = -222;
    static constexpr int kTooMuchData = -223;
    static constexpr int kIllegalParameterValue = -224;
    static constexpr int kDataCorruptOrStale = -230;
    static constexpr int kDataQuestionable = -231;
    static constexpr int kMassStorageError = -250;
    static constexpr int kFileNameNotFound = -256;
    static constexpr int kFileNameError = -257;
    static constexpr int kQueueOverflow = -350;
    static constexpr std::size_t kErrorQueueLength = 16;

    // Takes the reply text of a message piece by piece, as it is made.
    using ReplyOut = std::function<void(std::string_view text)>;

    explicit ScpiSession(AnalyzerDocument& document) : doc_(document) {}

    // Runs one program message (a line without its terminator); the replies
    // to its queries, separated by ";" and ended by a line feed, go to `out`
    // each as soon as its query has run, so a message of many queries never
    // holds all its replies at once. A message that asks nothing writes
    // nothing.
    void Execute(const std::string& message, const ReplyOut& out);
    // The same, with the whole reply returned.
    std::string Execute(const std::string& message);
    // Queues an error ("-113,\"Undefined header\"").
    void PushError(int code);
    // Queues the error a flagged reading carries ("-231,\"Data
    // questionable;UNCAL\""); nothing for an unflagged one.
    void PushReadingFlag(ReadingFlag flag);
    // Ends a *WAI or *OPC? wait at once, now and from now on.
    void StopWaiting() { stopWaiting_ = true; }
    // What runs the measurement utilities; without one they answer -221.
    void SetUtilityRunner(ScpiUtilityRunner* runner) { runner_ = runner; }

  private:
    struct Call {
        const ScpiUnit& unit;
        int suffix;
        std::string reply;
    };
    using Handler = void (ScpiSession::*)(Call& call);
    // A header pattern, parsed once for the life of the program.
    struct Row {
        Row(const char* text, Handler setForm, Handler queryForm, int replyValues = 1)
            : pattern(text), set(setForm), query(queryForm), values(replyValues) {}
        ScpiPattern pattern;
        Handler set;    // null: no command form
        Handler query;  // null: no query form
        int values;     // how many values the query's reply holds
    };
    static const std::vector<Row>& Table();

    // Hands each reply on, with the ";" between replies of one message.
    class Replies {
      public:
        explicit Replies(const ReplyOut& out) : out_(out) {}
        void Add(const std::string& reply);
        bool Any() const { return any_; }
        int Count() const { return count_; }

      private:
        const ReplyOut& out_;
        bool any_ = false;
        int count_ = 0;
    };

    void Run(const ScpiUnit& unit, Replies& replies);
    void RunCommon(const ScpiUnit& unit, Replies& replies);
    // The status words (*CLS, *ESE, *ESR?, *OPC, *SRE, *STB?); false for
    // another word.
    bool RunStatusWord(const ScpiUnit& unit, Replies& replies);
    SweepProgress Progress() const;
    // The settings a session keeps of its own, as *RST leaves them.
    void ResetSessionSettings();
    bool CheckParameterCount(const ScpiUnit& unit, std::size_t least, std::size_t most);
    // The first parameter as a number in the given quantity, its unit
    // checked, within [low, high]; nothing after queuing the error.
    std::optional<double> Frequency(const Call& call);
    std::optional<double> Level(const Call& call);  // dBm
    std::optional<double> Plain(const Call& call, double low, double high);
    std::optional<double> NumberIn(const Call& call, const char* unit, double low, double high);
    // The one parameter as a number and its unit; nothing after queuing the
    // error.
    std::optional<ScpiNumber> OneNumber(const Call& call);
    std::optional<bool> Boolean(const Call& call);
    std::optional<bool> MarkerSwitch(const Call& call);
    // The index of the word the first parameter names, in short or long
    // form ("POSitive"); nothing after queuing -224 for another.
    std::optional<std::size_t> Choice(const Call& call, std::initializer_list<const char*> words);
    // A level of the screen's unit in the unit of the replies: dBm and the
    // linear screen's millivolts converted, FM deviation left in Hz.
    double ReplyLevel(double level, const MarkerScale& scale) const;
    std::string ReplyLevelText(double level, const MarkerScale& scale) const;
    // Levels already in the replies' unit, as an array reply.
    std::string TraceReply(const std::vector<double>& levels, const MarkerScale& scale) const;
    std::optional<std::string> FileName(const Call& call, bool mustExist);
    std::optional<std::string> AllowedFileName(const std::string& parameter, bool mustExist);
    void WaitForSweep();

    void SetCenter(Call& call);
    void SetSpan(Call& call);
    void SetStart(Call& call);
    void SetStop(Call& call);
    void QueryCenter(Call& call);
    void QuerySpan(Call& call);
    void QueryStart(Call& call);
    void QueryStop(Call& call);
    void SetRefLevel(Call& call);
    void QueryRefLevel(Call& call);
    void SetAttenuation(Call& call);
    void QueryAttenuation(Call& call);
    void QueryResolutionBandwidth(Call& call);
    void SetAverageCount(Call& call);
    void QueryAverageCount(Call& call);
    void Initiate(Call& call);
    void SetContinuous(Call& call);
    void QueryContinuous(Call& call);
    void MarkerMaximum(Call& call);
    void QueryMarkerX(Call& call);
    void QueryMarkerY(Call& call);
    void MarkerToCenter(Call& call);
    void QueryTrace(Call& call);
    void FetchChannelPower(Call& call);
    void FetchOccupiedBandwidth(Call& call);
    void SetChannelPowerOn(Call& call);
    void QueryChannelPowerOn(Call& call);
    void SetOccupiedBandwidthOn(Call& call);
    void QueryOccupiedBandwidthOn(Call& call);
    void SetMeasurementOn(Call& call, bool TraceMeasurementSettings::*switched);
    void QueryMeasurementOn(Call& call, bool TraceMeasurementSettings::*switched);
    void StoreState(Call& call);
    void LoadState(Call& call);
    void LoadLimitMask(Call& call);
    void QueryLimitFail(Call& call);
    void QueryNextError(Call& call);

    // Bandwidths, sweep, detector, trace mode, units, input and data format.
    void SetResolutionBandwidth(Call& call);
    void SetResolutionBandwidthAuto(Call& call);
    void QueryResolutionBandwidthAuto(Call& call);
    void SetVideoBandwidth(Call& call);
    void QueryVideoBandwidth(Call& call);
    void SetVideoBandwidthAuto(Call& call);
    void QueryVideoBandwidthAuto(Call& call);
    void QuerySweepTime(Call& call);
    void SetSweepPoints(Call& call);
    void QuerySweepPoints(Call& call);
    void SetDetector(Call& call);
    void QueryDetector(Call& call);
    void SetDetectorAuto(Call& call);
    void QueryDetectorAuto(Call& call);
    void SetTraceMode(Call& call);
    void QueryTraceMode(Call& call);
    void SetPowerUnit(Call& call);
    void QueryPowerUnit(Call& call);
    void SetPreamplifier(Call& call);
    void QueryPreamplifier(Call& call);
    void SetDataFormat(Call& call);
    void QueryDataFormat(Call& call);
    void SetByteOrder(Call& call);
    void QueryByteOrder(Call& call);
    void SetDetectorAverage(bool on);
    void SetDetectorInDocument(Detector detector);

    // Marker functions.
    void SetMarkerOn(Call& call);
    void QueryMarkerOn(Call& call);
    void MarkersOff(Call& call);
    void SetMarkerX(Call& call);
    void MarkerNextPeak(Call& call);
    void MarkerPeakLeft(Call& call);
    void MarkerPeakRight(Call& call);
    void MarkerPeakSearch(Call& call, PeakSearch search);
    void SetMarkerNoise(Call& call);
    void QueryMarkerNoise(Call& call);
    void SetDeltaMarker(Call& call);
    void QueryDeltaMarker(Call& call);
    void QueryDeltaX(Call& call);
    void QueryDeltaY(Call& call);
    void SetCounter(Call& call);
    void QueryCounter(Call& call);
    void QueryCounterFrequency(Call& call);

    // Status registers and the system.
    void QueryOperationEvent(Call& call);
    void QueryOperationCondition(Call& call);
    void SetOperationEnable(Call& call);
    void QueryOperationEnable(Call& call);
    void PresetStatus(Call& call);
    void QueryAllErrors(Call& call);
    void QueryVersion(Call& call);

    // Measurements from a script (scpi_measure_commands.cpp).
    std::string NoAnswer(int values, std::size_t errorsBefore);
    void PushNoTraceReading();
    bool SweepOnce();
    void MeasureChannelPower(Call& call);
    void MeasureOccupiedBandwidth(Call& call);
    void ReadChannelPower(Call& call);
    void ReadOccupiedBandwidth(Call& call);
    void SetIfBandwidth(Call& call);
    void QueryIfBandwidth(Call& call);
    void SetAudioFilter(Call& call);
    void QueryAudioFilter(Call& call);
    void SetShowAm(Call& call);
    void QueryShowAm(Call& call);
    void SetShowFm(Call& call);
    void QueryShowFm(Call& call);
    void MeasureReceiver(Call& call);
    void MeasureHarmonics(Call& call);
    void MeasurePhaseNoise(Call& call);
    void StoreAudio(Call& call);
    void StoreIq(Call& call);
    void StopIq(Call& call);
    void QueryIq(Call& call);
    bool RunnerReady();
    void ReplyPoints(Call& call, const std::vector<ScpiPoint>& points, bool shownFrequencies);
    // Each distinct flag of a reply once in the queue, in the order met.
    void PushReadingFlags(const std::vector<ReadingFlag>& flags);
    // Marker 1 or 2 made the active one; false (error queued) for others.
    bool SelectMarker(const Call& call);
    struct MarkerReading {
        double position = 0.0;
        double level = 0.0;
        ReadingFlag flag = ReadingFlag::kNone;  // of the level
    };
    std::optional<MarkerReading> ReadMarker(const Call& call);
    std::optional<MarkerReading> ReadExtraMarker(const ExtraMarker& marker);
    // The level the marker reads in the replies' unit, or in dBm/Hz while
    // the noise function is on.
    std::string MarkerLevelText(const MarkerReading& marker);
    // Markers 1 and 2 while delta mode is on; nothing (error queued) else.
    std::optional<std::pair<MarkerReading, MarkerReading>> ReadDeltaPair(const Call& call);

    // A level read through a calibration table that cannot be trusted
    // queues its flag beside the number.
    void FlagUncalibratedLevels();

    struct QueuedError {
        int code;
        std::string text;
    };
    void Queue(QueuedError error);

    AnalyzerDocument& doc_;
    std::deque<QueuedError> errors_;
    ScpiStatus status_;
    ScpiPowerUnit powerUnit_ = ScpiPowerUnit::kDbm;
    ScpiDataFormat dataFormat_ = ScpiDataFormat::kAscii;
    bool swappedBytes_ = false;
    bool traceView_ = false;        // VIEW: the trace held, the sweep stopped
    bool noiseMarker_ = false;      // marker levels read as noise density
    std::size_t errorsQueued_ = 0;  // ever, to tell whether a handler queued one
    ScpiUtilityRunner* runner_ = nullptr;
    ScpiReceiverSettings receiver_;
    std::atomic<bool> stopWaiting_{false};
};

}  // namespace tavlin
