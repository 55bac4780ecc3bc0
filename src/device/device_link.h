#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "device/usb_driver.h"

namespace tavlin {

class Clock;
class Prompter;
class ProgressSink;

// Results of the link's operations. 0, 5 and 6 are the instrument's own codes
// for reads; command operations report a failed write or an argument that
// must never reach the wire.
enum LinkResult : int {
    kLinkOk = 0,
    kLinkWriteFailed = 1,  // the converter refused the write; commError is set
    kLinkRefused = 2,      // argument out of range: nothing was sent
    kLinkWrongAmount = 5,  // "Error 5 - USB Data Not Received"
    kLinkBadHeader = 6,
};

constexpr int kCalMemoryBytes = 4096;
constexpr int kMaxDetectorValues = 2048;
constexpr int kStreamBlockPairs = 4096;
constexpr int kPollBlockPairs = 512;

// The two USB channels of the instrument: channel B carries commands and their
// short replies, channel A the sample data. The only code that talks to the
// USB driver. One user at a time by convention: the sweep is paused before any
// other thread sends.
class DeviceLink {
  public:
    DeviceLink(UsbDriver& driver, Clock& clock, Prompter& prompter);
    virtual ~DeviceLink() = default;  // neither closes the channels nor sends
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // --- Channels -----------------------------------------------------------
    bool Open();
    bool IsOpen() const { return isOpen_.load(); }
    int SendCommand(int byteCount);
    std::size_t ReadReply(std::uint8_t* buffer, std::size_t count);
    // A capture of `pairs` I/Q pairs into the two arrays. A count the arrays
    // cannot hold is refused before anything is sent.
    int ReadSweepSamples(std::span<std::int32_t> first, std::span<std::int32_t> second, int pairs);
    int ReadSampleBlock512(std::int32_t* first, std::int32_t* second);
    bool ReadStreamBlock(std::int32_t* first, std::int32_t* second);
    int ReadStreamHeader();
    std::size_t FlushDataChannel();
    void PurgeBoth();
    // Returns false when a requested reopen found no instrument.
    bool ResetLink(bool reopen);
    // The light alternative to a port cycle for a link in good order: stale
    // bytes purged from both channels, the sent settings forgotten so the
    // next sweep sends them all, the synthesizer's fixed register written
    // again. False when the link is closed or a command fails: then only
    // ResetLink mends it.
    bool Resynchronise();
    // Counts the successful opens: a reopen may have found another unit.
    int OpenCount() const { return openCount_.load(); }
    // Counts every failure of the link in the life of the program: a write
    // the converter refused, a capture refused for its size or header, a
    // step block, stream block or detector reply that did not arrive. A
    // sweep during which it rose drew (some of) its rows from data that is
    // not there.
    std::uint64_t FaultCount() const { return faultCount_.load(); }
    // The count when the channels last opened: what failed before a reopen
    // (a reset after ERROR 6) has no bearing on what the unit holds now.
    std::uint64_t FaultCountAtOpen() const { return faultCountAtOpen_.load(); }
    void SetDataTimeouts(int milliseconds);
    std::string GetSerialNumber();
    std::string GetFirmwareVersion();

    // --- Commands -----------------------------------------------------------
    int SetSynthesizer(int intPart, int frac, int mod, int divider, bool highBand);
    int SetBandSelect(bool high);
    int SetAttenuator(double db);
    int SetGainMode(int mode);
    int SetDecimation(int decimation);
    int SetIfPath(int path);
    int SendClockMode(int mode);
    int InitialiseSampler();
    bool CheckReference(bool previous);
    int SetPreamp(bool on);
    int SetSyncTrigger(int mode);
    int StartDetectorSweep(int startStep, int stopStep, std::uint16_t* values);
    int RunStepList(int first, int last);
    int RunStepListDown(int first, int last);
    int RequestCapture(int blocks);
    int StartStream();
    int StopStream();
    int LoadSynthesizerWord(std::uint32_t word);

    // --- Calibration memory -------------------------------------------------
    // True when every word was delivered in full.
    bool ReadCalMemory(std::uint8_t* destination, ProgressSink& progress);
    bool WriteCalMemory(const std::uint8_t* table);
    bool EraseCalMemory();

    // --- Run-control hooks --------------------------------------------------
    // A stop request ends a trigger wait.
    void WatchStopRequest(const std::atomic<int>* stopRequest) { stopRequest_ = stopRequest; }
    // Called (from whatever thread found it) when "TAVLIN NOT FOUND" was
    // shown: the program must close through its main thread.
    void SetInstrumentLostHandler(std::function<void()> handler) {
        instrumentLost_ = std::move(handler);
    }
    bool InstrumentLost() const { return instrumentLost.load(); }

    // Preset puts the cached values back to "unknown".
    void ResetCachedSettings();

    // --- Fields shared with other threads -----------------------------------
    std::atomic<bool> waitForTrigger{false};
    std::atomic<bool> commError{false};
    std::atomic<bool> instrumentLost{false};
    std::atomic<int> slowDevice{0};

    int DecimationSent() const { return decimationSent_; }
    int IfPathSent() const { return ifPathSent_; }
    int ClockModeSent() const { return clockModeSent_; }

    std::array<std::uint8_t, 5> commandBytes{};

  private:
    // What the unit was last told by the commands that set it, so that a
    // setting it holds is not sent again; -1 (or no value) where unknown:
    // after opening, any fault, a reset, a preset, and for the synthesizer
    // and the LO route after the unit tuned itself through a step list or a
    // detector sweep.
    struct HeldSettings {
        int attenuatorIndex = -1;
        int gainMode = -1;
        int preamp = -1;
        int syncTrigger = -1;
        int route = -1;
        std::array<std::optional<std::uint32_t>, 8> synthesizer{};  // by register number
    };

    bool StopRequested() const { return stopRequest_ != nullptr && stopRequest_->load() != 0; }
    int Stage(std::initializer_list<std::uint8_t> bytes);
    int Query(std::initializer_list<std::uint8_t> bytes);
    int WriteFrame(int byteCount);
    std::size_t ReadUntilQuiet(std::uint8_t* buffer, std::size_t count);
    std::size_t DataQueueCount();
    bool WaitForDataQueue(std::size_t wanted, int limitMs);
    std::size_t AwaitCapture(std::size_t expected, int pairs);
    int SendSynthesizerWordIfChanged(std::uint32_t word, bool& sent);
    void ForgetTuning();
    void DecodePairs(const std::uint8_t* bytes, std::size_t pairs, std::int32_t* first,
                     std::int32_t* second);
    int ReadLongCapture(std::span<std::int32_t> first, std::span<std::int32_t> second, int pairs);
    double CaptureMs(int pairs) const;
    void DiscardCapture(int pairs);
    // A capture that went wrong: the rest of it discarded (DiscardCapture), the fault logged
    // (unless a stop ended it), the code returned.
    int RefuseCapture(int code, std::size_t got, std::size_t expected, int pairs);
    void ForgetSentSettings();
    void ReportInstrumentLost();
    // After a fault the unit may hold anything: every setting is sent again.
    void CountFault() {
        faultCount_.fetch_add(1);
        ForgetSentSettings();
    }
    bool ChooseChannels(int count, int& dataIndex, int& commandIndex);
    bool OpenChannels(int dataIndex, int commandIndex);

    UsbDriver& driver_;
    Clock& clock_;
    Prompter& prompter_;
    std::array<std::uint8_t, 65536> rxBuffer_{};
    int decimationSent_ = 0;
    UsbHandle commandChannel_ = kNoHandle;
    UsbHandle dataChannel_ = kNoHandle;
    std::atomic<bool> isOpen_{false};
    std::atomic<int> openCount_{0};
    std::atomic<std::uint64_t> faultCount_{0};
    std::atomic<std::uint64_t> faultCountAtOpen_{0};
    int ifPathSent_ = 2;
    int clockModeSent_ = 0;
    HeldSettings held_;
    const std::atomic<int>* stopRequest_ = nullptr;
    std::function<void()> instrumentLost_;
};

}  // namespace tavlin
