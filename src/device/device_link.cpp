#include "device/device_link.h"

#include <algorithm>
#include <chrono>

#include "ports/clock.h"
#include "ports/log.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

constexpr int kCommandRate = 46667;
constexpr int kCommandTimeoutMs = 5000;
constexpr int kVersionTimeoutMs = 500;
constexpr std::size_t kVersionBytes = 32;
// Longer than the converter's latency timer (16 ms at power-on), after which
// it sends what it holds of a reply, and than a 32-byte reply takes on the
// wire at the command channel's rate (7 ms).
constexpr int kReplyQuietMs = 25;
constexpr int kReplyPollMs = 2;
constexpr int kDataTimeoutMs = 1000;
constexpr int kDataOpenAttempts = 10;
constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kPollBlockBytes = kPollBlockPairs * 4;
constexpr std::size_t kStreamBlockBytes = kStreamBlockPairs * 4;
constexpr int kLongCapturePairs = 8000;
// Longer than the converter holds back a part-filled packet (its latency timer).
constexpr int kQuietMs = 50;
constexpr int kSlowDeviceCommandMs = 10;
// How often a wait for data looks at the receive queue, and how long it
// looks on after a capture's expected time (two looks of the old 100 ms).
constexpr int kDataPollMs = 1;
constexpr int kCaptureGraceMs = 200;
constexpr int kTriggerPollMs = 10;
// How long a step block or a stream block may take to come.
constexpr int kPollBlockLimitMs = 100;
constexpr int kStreamBlockLimitMs = 250;
constexpr std::uint8_t kSlipEnd = 0xC0;
constexpr std::uint8_t kSlipEsc = 0xDB;
constexpr std::uint8_t kSlipEscEnd = 0xDC;
constexpr std::uint8_t kSlipEscEsc = 0xDD;
constexpr std::uint8_t kSampleHeader[kHeaderBytes] = {0xA5, 0x5A, 0xF0, 0x0F};
constexpr std::uint32_t kSynthesizerRegister2 = 0x00004C42;

bool IsDataDescription(const std::string& d) {
    return d == "Tavlin A" || d == "KVO TRAXA A";
}
bool IsCommandDescription(const std::string& d) {
    return d == "Tavlin B" || d == "KVO TRAXA B";
}

std::int32_t DecodeWord(std::uint8_t low, std::uint8_t high) {
    const int raw = low | (high << 8);
    return raw < 32768 ? raw : raw - 65536;
}

}  // namespace

DeviceLink::DeviceLink(UsbDriver& driver, Clock& clock, Prompter& prompter)
    : driver_(driver), clock_(clock), prompter_(prompter) {}

// --- Discovery and opening ---------------------------------------------------

bool DeviceLink::Open() {
    if (isOpen_) {
        return true;
    }
    ForgetSentSettings();
    int count = 0;
    driver_.DeviceCount(count);
    if (count < 2) {
        prompter_.Inform("PLEASE CONNECT TAVLIN NOW\r\n then click OK", "ERROR 1-TAVLIN NOT FOUND");
        clock_.SleepMs(1000);
        count = 0;
        driver_.DeviceCount(count);
        if (count < 2) {
            LogError("device", "instrument not found");
            prompter_.Inform("TAVLIN NOT FOUND\r\nClosing application", "ERROR 1");
            ReportInstrumentLost();
            return false;
        }
    }
    int dataIndex = -1;
    int commandIndex = -1;
    if (!ChooseChannels(count, dataIndex, commandIndex)) {
        isOpen_ = false;
        prompter_.Inform("Devices not found!", "ERROR 1");
        return false;
    }
    const bool opened = OpenChannels(dataIndex, commandIndex);
    if (opened) {
        LogInfo("device", "both channels open");
        ++openCount_;
        faultCountAtOpen_ = faultCount_.load();
        clock_.SleepMs(50);
        LoadSynthesizerWord(kSynthesizerRegister2);
        InitialiseSampler();
    }
    return opened;
}

// The first free interface of each kind wins. When no interface carries the
// instrument's description, the first two are taken as they come.
bool DeviceLink::ChooseChannels(int count, int& dataIndex, int& commandIndex) {
    for (int index = 0; index < count; ++index) {
        UsbDeviceInfo info;
        if (driver_.DeviceInfo(index, info) != kUsbOk || info.alreadyOpen) {
            continue;
        }
        if (IsDataDescription(info.description) && dataIndex < 0) {
            dataIndex = index;
        } else if (IsCommandDescription(info.description) && commandIndex < 0) {
            commandIndex = index;
        }
    }
    if (dataIndex < 0) {
        dataIndex = 0;
        commandIndex = 1;
    }
    return commandIndex >= 0;
}

bool DeviceLink::OpenChannels(int dataIndex, int commandIndex) {
    bool opened = true;
    bool dataOpened = false;
    for (int attempt = 0; attempt < kDataOpenAttempts && !dataOpened; ++attempt) {
        dataOpened = driver_.OpenByIndex(dataIndex, dataChannel_) == kUsbOk;
        if (!dataOpened) {
            dataChannel_ = kNoHandle;
            clock_.SleepMs(250);
        }
    }
    if (!dataOpened) {
        LogError("device", "data channel did not open");
        prompter_.Inform("PORT1 Did not open", "ERROR 2");
        opened = false;
    }
    if (driver_.OpenByIndex(commandIndex, commandChannel_) != kUsbOk) {
        commandChannel_ = kNoHandle;
        LogError("device", "command channel did not open");
        prompter_.Inform("PORT2 Did not open", "ERROR 2");
        opened = false;
    }
    // The configuration results are not examined: a channel that did not open
    // shows up at the first command or read.
    driver_.SetBaudRate(commandChannel_, kCommandRate);
    driver_.SetTimeouts(commandChannel_, kCommandTimeoutMs, kCommandTimeoutMs);
    driver_.SetTimeouts(dataChannel_, kDataTimeoutMs, kDataTimeoutMs);
    isOpen_ = opened;
    return opened;
}

void DeviceLink::ReportInstrumentLost() {
    instrumentLost = true;
    if (instrumentLost_) {
        instrumentLost_();
    }
}

void DeviceLink::ForgetSentSettings() {
    held_ = {};
    decimationSent_ = 0;
    ifPathSent_ = 2;
    clockModeSent_ = -1;
}

void DeviceLink::ResetCachedSettings() {
    ForgetSentSettings();
    slowDevice = 0;
}

// --- Commands on channel B ---------------------------------------------------

int DeviceLink::SendCommand(int byteCount) {
    const int result = WriteFrame(byteCount);
    if (result == kLinkRefused) {
        return result;
    }
    // A command needs no pause of its own: the unit takes the frames in the
    // order they were written, and whatever must wait for an answer waits
    // for the answer itself. On the external reference the unit needs
    // longer after each command.
    if (slowDevice) {
        clock_.SleepMs(kSlowDeviceCommandMs);
    }
    return result;
}

int DeviceLink::WriteFrame(int byteCount) {
    if (byteCount < 1 || byteCount > static_cast<int>(commandBytes.size())) {
        return kLinkRefused;
    }
    // SLIP: escape the two special bytes, end with one frame end (at most 11 bytes).
    std::array<std::uint8_t, 11> frame{};
    std::size_t length = 0;
    for (int i = 0; i < byteCount; ++i) {
        const std::uint8_t b = commandBytes[i];
        if (b == kSlipEnd) {
            frame[length++] = kSlipEsc;
            frame[length++] = kSlipEscEnd;
        } else if (b == kSlipEsc) {
            frame[length++] = kSlipEsc;
            frame[length++] = kSlipEscEsc;
        } else {
            frame[length++] = b;
        }
    }
    frame[length++] = kSlipEnd;
    std::size_t written = 0;
    const int status = driver_.Write(commandChannel_, frame.data(), length, written);
    const bool failed = status != kUsbOk || written != length;
    if (failed && !commError) {
        LogWarning("device", "command write failed: USB status " + std::to_string(status) + ", " +
                                 std::to_string(written) + " of " + std::to_string(length) +
                                 " bytes written");
    }
    if (failed) {
        commError = true;
        CountFault();
    }
    return failed ? kLinkWriteFailed : kLinkOk;
}

int DeviceLink::Stage(std::initializer_list<std::uint8_t> bytes) {
    if (bytes.size() == 0 || bytes.size() > commandBytes.size()) {
        return kLinkRefused;
    }
    std::copy(bytes.begin(), bytes.end(), commandBytes.begin());
    return SendCommand(static_cast<int>(bytes.size()));
}

// A command whose reply the caller waits for needs no pause after it: the
// unit answers once it has carried the command out, and is then ready for
// the next one.
int DeviceLink::Query(std::initializer_list<std::uint8_t> bytes) {
    if (bytes.size() == 0 || bytes.size() > commandBytes.size()) {
        return kLinkRefused;
    }
    std::copy(bytes.begin(), bytes.end(), commandBytes.begin());
    return WriteFrame(static_cast<int>(bytes.size()));
}

std::size_t DeviceLink::ReadReply(std::uint8_t* buffer, std::size_t count) {
    std::size_t got = 0;
    if (driver_.Read(commandChannel_, buffer, count, got) != kUsbOk) {
        return std::min(got, count);
    }
    return got;
}

std::string DeviceLink::GetFirmwareVersion() {
    std::array<std::uint8_t, kVersionBytes> text{};
    const std::size_t got = Query({'V'}) == kLinkOk ? ReadUntilQuiet(text.data(), text.size()) : 0;
    std::string version(reinterpret_cast<const char*>(text.data()), got);
    const auto terminator = version.find('\0');
    if (terminator != std::string::npos) {
        version.resize(terminator);
    }
    return version;
}

// The version text has no length and no terminator, but the unit sends it in
// one go: once the first bytes are in, the reply is complete when nothing more
// arrives for longer than the converter holds a part-filled packet back. So
// the read ends a few milliseconds after the reply instead of at the 500 ms
// time-out that bounds a unit that says nothing.
std::size_t DeviceLink::ReadUntilQuiet(std::uint8_t* buffer, std::size_t count) {
    const auto start = clock_.Now();
    auto lastGrowth = start;
    std::size_t waiting = 0;
    for (;;) {
        std::size_t now = 0;
        if (driver_.QueueStatus(commandChannel_, now) != kUsbOk) {
            return 0;
        }
        const auto at = clock_.Now();
        if (now != waiting) {
            waiting = now;
            lastGrowth = at;
        }
        const bool quiet =
            waiting > 0 && at - lastGrowth >= std::chrono::milliseconds(kReplyQuietMs);
        if (waiting >= count || quiet ||
            at - start >= std::chrono::milliseconds(kVersionTimeoutMs)) {
            break;
        }
        clock_.SleepMs(kReplyPollMs);
    }
    return waiting == 0 ? 0 : ReadReply(buffer, std::min(waiting, count));
}

std::string DeviceLink::GetSerialNumber() {
    UsbDeviceInfo info;
    if (driver_.HandleInfo(commandChannel_, info) != kUsbOk) {
        return {};
    }
    return info.serial.substr(0, 8);
}

// --- Sample data on channel A --------------------------------------------------

std::size_t DeviceLink::DataQueueCount() {
    std::size_t waiting = 0;
    if (driver_.QueueStatus(dataChannel_, waiting) != kUsbOk) {
        return 0;
    }
    return waiting;
}

void DeviceLink::DecodePairs(const std::uint8_t* bytes, std::size_t pairs, std::int32_t* first,
                             std::int32_t* second) {
    for (std::size_t p = 0; p < pairs; ++p) {
        const std::uint8_t* b = bytes + 4 * p;
        first[p] = DecodeWord(b[0], b[1]);
        second[p] = DecodeWord(b[2], b[3]);
    }
}

int DeviceLink::ReadSweepSamples(std::span<std::int32_t> first, std::span<std::int32_t> second,
                                 int pairs) {
    if (pairs < kPollBlockPairs || pairs % kPollBlockPairs != 0 || pairs / kPollBlockPairs > 255 ||
        static_cast<std::size_t>(pairs) > std::min(first.size(), second.size())) {
        return kLinkRefused;
    }
    // Bytes left from before the request are waited out with the capture,
    // so that such a capture is refused for its length, never read early.
    const std::size_t stale = pairs >= kLongCapturePairs ? 0 : DataQueueCount();
    RequestCapture(pairs / kPollBlockPairs);
    if (pairs >= kLongCapturePairs) {
        return ReadLongCapture(first, second, pairs);
    }
    const std::size_t expected = 4 * static_cast<std::size_t>(pairs) + kHeaderBytes;
    const std::size_t waiting = AwaitCapture(expected + stale, pairs);
    if (waiting != expected) {
        return RefuseCapture(kLinkWrongAmount, waiting, expected, pairs);
    }
    std::size_t got = 0;
    driver_.Read(dataChannel_, rxBuffer_.data(), expected, got);
    if (got != expected) {
        return RefuseCapture(kLinkWrongAmount, got, expected, pairs);
    }
    if (!std::equal(kSampleHeader, kSampleHeader + kHeaderBytes, rxBuffer_.begin())) {
        return RefuseCapture(kLinkBadHeader, got, expected, pairs);
    }
    DecodePairs(rxBuffer_.data() + kHeaderBytes, static_cast<std::size_t>(pairs), first.data(),
                second.data());
    return kLinkOk;
}

// Long captures arrive as a header and 4096-pair blocks. A block that comes
// back short means the samples are not the ones asked for: report it rather
// than let the sweep draw stale values as new.
int DeviceLink::ReadLongCapture(std::span<std::int32_t> first, std::span<std::int32_t> second,
                                int pairs) {
    if (waitForTrigger) {
        while (DataQueueCount() < kHeaderBytes) {
            if (StopRequested() || !isOpen_) {
                return RefuseCapture(kLinkWrongAmount, DataQueueCount(), kHeaderBytes, pairs);
            }
            clock_.SleepMs(10);
        }
    }
    std::size_t got = 0;
    driver_.Read(dataChannel_, rxBuffer_.data(), kHeaderBytes, got);
    if (got != kHeaderBytes) {
        return RefuseCapture(kLinkWrongAmount, got, kHeaderBytes, pairs);
    }
    // Bytes before the header (left from an earlier capture) would shift
    // every pair that follows: such a capture is refused, as a short one is.
    if (!std::equal(kSampleHeader, kSampleHeader + kHeaderBytes, rxBuffer_.begin())) {
        return RefuseCapture(kLinkBadHeader, got, kHeaderBytes, pairs);
    }
    for (int stored = 0; stored < pairs; stored += kStreamBlockPairs) {
        got = 0;
        driver_.Read(dataChannel_, rxBuffer_.data(), kStreamBlockBytes, got);
        if (got != kStreamBlockBytes) {
            return RefuseCapture(kLinkWrongAmount, got, kStreamBlockBytes, pairs);
        }
        // The unit sends whole blocks; the last one may hold more pairs than
        // were asked for, and those are read but not stored.
        const int wanted = std::min(kStreamBlockPairs, pairs - stored);
        DecodePairs(rxBuffer_.data(), static_cast<std::size_t>(wanted), first.data() + stored,
                    second.data() + stored);
    }
    return kLinkOk;
}

// The capture is read as soon as its last byte is queued. Without a trigger
// wait the unit has the capture's expected time and a margin to deliver it;
// with one, until the trigger comes or a stop is asked for.
std::size_t DeviceLink::AwaitCapture(std::size_t expected, int pairs) {
    const Clock::TimePoint deadline =
        clock_.Now() +
        std::chrono::milliseconds(static_cast<int>(CaptureMs(pairs)) + kCaptureGraceMs);
    std::size_t waiting = DataQueueCount();
    while (waiting < expected) {
        const bool late = clock_.Now() >= deadline;
        const bool stopped = waitForTrigger && (StopRequested() || !isOpen_);
        if ((late && !waitForTrigger) || stopped) {
            break;
        }
        clock_.SleepMs(late ? kTriggerPollMs : kDataPollMs);
        waiting = DataQueueCount();
    }
    return waiting;
}

double DeviceLink::CaptureMs(int pairs) const {
    return pairs * 0.0022 * (decimationSent_ + 1) + 25;
}

// The unit goes on sending a capture the program has given up on, and bytes
// still on their way would be read as the next capture's header, spoiling
// every capture after it. The channel is emptied until it stays quiet, for
// at most as long as the capture can still run.
void DeviceLink::DiscardCapture(int pairs) {
    const int looks = static_cast<int>(CaptureMs(pairs)) / kQuietMs + 2;
    for (int look = 0; look < looks; ++look) {
        driver_.Purge(dataChannel_);
        clock_.SleepMs(kQuietMs);
        if (DataQueueCount() == 0) {
            return;
        }
    }
    driver_.Purge(dataChannel_);
}

int DeviceLink::RefuseCapture(int code, std::size_t got, std::size_t expected, int pairs) {
    DiscardCapture(pairs);
    // A stop that ended a wait for TRIG IN is no fault of the link. A single
    // sweep runs with its stop already asked for, so without a trigger wait
    // the stop says nothing about a capture that came short or damaged.
    if (waitForTrigger && StopRequested()) {
        return code;
    }
    CountFault();
    if (code == kLinkBadHeader) {
        LogWarning("device", "sample block with a wrong header");
    } else {
        LogWarning("device", "short sample data: " + std::to_string(got) + " of " +
                                 std::to_string(expected) + " bytes");
    }
    return code;
}

bool DeviceLink::WaitForDataQueue(std::size_t wanted, int limitMs) {
    std::size_t waiting = DataQueueCount();
    for (int waited = 0; waited < limitMs && waiting < wanted; waited += kDataPollMs) {
        clock_.SleepMs(kDataPollMs);
        waiting = DataQueueCount();
    }
    return waiting >= wanted;
}

int DeviceLink::ReadSampleBlock512(std::int32_t* first, std::int32_t* second) {
    std::size_t got = 0;
    if (WaitForDataQueue(kPollBlockBytes, kPollBlockLimitMs)) {
        driver_.Read(dataChannel_, rxBuffer_.data(), kPollBlockBytes, got);
    }
    if (got != kPollBlockBytes) {
        CountFault();
        return 0;
    }
    DecodePairs(rxBuffer_.data(), kPollBlockPairs, first, second);
    return 1;
}

bool DeviceLink::ReadStreamBlock(std::int32_t* first, std::int32_t* second) {
    std::size_t got = 0;
    if (WaitForDataQueue(kStreamBlockBytes, kStreamBlockLimitMs)) {
        driver_.Read(dataChannel_, rxBuffer_.data(), kStreamBlockBytes, got);
    }
    if (got != kStreamBlockBytes) {
        CountFault();
        driver_.Purge(dataChannel_);
        prompter_.Inform("Time out waiting for data", "ERROR");
        return false;
    }
    DecodePairs(rxBuffer_.data(), kStreamBlockPairs, first, second);
    return true;
}

int DeviceLink::ReadStreamHeader() {
    std::size_t got = 0;
    driver_.Read(dataChannel_, rxBuffer_.data(), kHeaderBytes, got);
    return 1;
}

// Called once a step list has delivered all it was asked for (nothing more
// is on its way), or after the pause that follows a missing block: the
// queue is emptied at once.
std::size_t DeviceLink::FlushDataChannel() {
    const std::size_t discarded = DataQueueCount();
    driver_.Purge(dataChannel_);
    return discarded;
}

void DeviceLink::PurgeBoth() {
    driver_.Purge(dataChannel_);
    driver_.Purge(commandChannel_);
}

void DeviceLink::SetDataTimeouts(int milliseconds) {
    driver_.SetTimeouts(dataChannel_, milliseconds, milliseconds);
}

// --- Recovery ------------------------------------------------------------------

bool DeviceLink::ResetLink(bool reopen) {
    LogInfo("device", reopen ? "USB reset, then reopen" : "USB reset and close");
    driver_.CyclePort(dataChannel_);
    driver_.Close(dataChannel_);
    driver_.Close(commandChannel_);
    dataChannel_ = kNoHandle;
    commandChannel_ = kNoHandle;
    isOpen_ = false;
    if (!reopen) {
        return true;
    }
    clock_.SleepMs(2500);
    const bool reopened = Open();
    Log(reopened ? LogLevel::kInfo : LogLevel::kError, "device",
        reopened ? "reopened after the USB reset" : "not reopened after the USB reset");
    return reopened;
}

bool DeviceLink::Resynchronise() {
    if (!isOpen_ || commError) {
        return false;
    }
    PurgeBoth();
    ForgetSentSettings();
    // The sampler keeps its registers while the unit stays powered, and every
    // change of clock mode initialises it again: its 750 ms sequence is left
    // to the port cycle.
    LoadSynthesizerWord(kSynthesizerRegister2);
    if (commError) {
        LogWarning("device", "resynchronising the link failed");
        return false;
    }
    return true;
}

}  // namespace tavlin
