// libFuzzer target: whatever the instrument's two channels deliver, as the
// program reads it. The input is a script of link operations, each followed
// by the bytes the unit answers with: sample captures short and long (whole
// 4096-pair blocks behind a header, or anything at all), 512-pair poll blocks,
// stream blocks, step lists through the step-list reader, calibration memory
// words, version text and detector sweeps. Every command the link frames on
// the way is checked to unescape to exactly the bytes it staged.
#include <fuzzer/FuzzedDataProvider.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "document_bench.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "support/recording_prompter.h"
#include "support/scripted_usb_driver.h"
#include "sweep/step_list_reader.h"

namespace {

using tavlin::DeviceLink;
using tavlin::UsbHandle;

constexpr UsbHandle kData = 1;  // the scripted driver's handles: index + 1
constexpr UsbHandle kCommand = 2;
constexpr std::uint8_t kHeader[4] = {0xA5, 0x5A, 0xF0, 0x0F};

// Virtual time without real waits. A trigger wait ends the way the user ends
// it, with a stop request, once a second of virtual time has passed.
class InstantClock final : public tavlin::Clock {
  public:
    explicit InstantClock(std::atomic<int>& stop) : stop_(stop) {}
    TimePoint Now() override { return TimePoint(std::chrono::milliseconds(nowMs_)); }
    void SleepMs(int milliseconds) override {
        nowMs_ += milliseconds > 0 ? milliseconds : 0;
        if (nowMs_ - sinceMs_ > 1000) {
            stop_ = 1;
        }
    }
    void Restart() {
        sinceMs_ = nowMs_;
        stop_ = 0;
    }

  private:
    std::atomic<int>& stop_;
    long long nowMs_ = 0;
    long long sinceMs_ = 0;
};

using tavlin::fuzz::QuietProgress;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Bytes for one answer: either as they come in the input, or a well-formed
// frame (a header and whole blocks) whose sample words come from the input.
std::vector<std::uint8_t> Answer(FuzzedDataProvider& in, bool withHeader, std::size_t bodyBytes) {
    if (in.ConsumeBool()) {
        return in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 70000));
    }
    std::vector<std::uint8_t> bytes;
    if (withHeader) {
        bytes.assign(kHeader, kHeader + 4);
    }
    const std::vector<std::uint8_t> pattern = in.ConsumeBytes<std::uint8_t>(64);
    for (std::size_t i = 0; i < bodyBytes; ++i) {
        bytes.push_back(pattern.empty() ? 0 : pattern[i % pattern.size()]);
    }
    return bytes;
}

void CheckFinite(const std::vector<double>& values) {
    for (const double v : values) {
        Require(std::isfinite(v));
    }
}

// The last frame written on the command channel unescapes to the staged bytes.
void CheckLastFrame(tavlin::test::ScriptedUsbDriver& usb, const DeviceLink& link, int count) {
    const auto writes = usb.Writes(kCommand);
    Require(!writes.empty());
    const std::vector<std::uint8_t>& frame = writes.back();
    Require(!frame.empty() && frame.back() == 0xC0);
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
        Require(frame[i] != 0xC0);
    }
    const std::vector<std::uint8_t> staged(link.commandBytes.begin(),
                                           link.commandBytes.begin() + count);
    Require(tavlin::test::UnSlip(frame) == staged);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::atomic<int> stop{0};
    InstantClock clock(stop);
    tavlin::test::RecordingPrompter prompter;
    QuietProgress progress;
    tavlin::test::ScriptedUsbDriver usb;
    usb.AddGenuinePair();
    DeviceLink link(usb, clock, prompter);
    link.WatchStopRequest(&stop);
    Require(link.Open());

    tavlin::CalTable cal("/nonexistent");
    cal.Bytes().fill(100);
    cal.DeriveValues();
    tavlin::StepListReader reader;
    reader.SetReceiver(cal.SampleRateHz(), cal.IfFreq1Hz(), cal);
    long missing = 0;
    const tavlin::StepReadPorts ports{link, prompter, clock, missing};

    std::vector<std::int32_t> first(70000);
    std::vector<std::int32_t> second(70000);
    for (int operation = 0; operation < 16 && in.remaining_bytes() > 0; ++operation) {
        clock.Restart();
        link.waitForTrigger = in.ConsumeBool();
        switch (in.ConsumeIntegralInRange(0, 8)) {
            case 0: {  // a capture: short ones in one piece, long ones in blocks
                const int pairs = 512 * in.ConsumeIntegralInRange(1, 136);
                const std::size_t blocks = (pairs + 4095) / 4096;
                const std::size_t body = pairs < 8000 ? 4u * pairs : blocks * 16384;
                usb.QueueReceive(kData, Answer(in, true, body));
                const int result = link.ReadSweepSamples(first, second, pairs);
                Require(result == tavlin::kLinkOk || result == tavlin::kLinkWrongAmount ||
                        result == tavlin::kLinkBadHeader);
                break;
            }
            case 1:
                usb.QueueReceive(kData, Answer(in, false, 2048));
                link.ReadSampleBlock512(first.data(), second.data());
                break;
            case 2:
                usb.QueueReceive(kData, Answer(in, true, 16384));
                link.ReadStreamHeader();
                link.ReadStreamBlock(first.data(), second.data());
                break;
            case 3: {
                const int firstStep = in.ConsumeIntegralInRange(0, 20);
                const int steps = in.ConsumeIntegralInRange(1, 12);
                const int points = 1 << in.ConsumeIntegralInRange(0, 7);
                usb.QueueReceive(kData, Answer(in, false, 2048u * steps));
                std::vector<double> out(static_cast<std::size_t>(steps) * points);
                const int result =
                    reader.ReadStepList(ports, firstStep, firstStep + steps - 1, points, out);
                Require(result >= tavlin::StepListReader::kComplete &&
                        result <= tavlin::StepListReader::kAborted);
                CheckFinite(out);
                break;
            }
            case 4: {
                const int low = in.ConsumeIntegralInRange(0, 20);
                const int steps = in.ConsumeIntegralInRange(1, 12);
                const int points = 2 << in.ConsumeIntegralInRange(0, 6);
                usb.QueueReceive(kData, Answer(in, false, 2048u * steps));
                std::vector<double> out(static_cast<std::size_t>(steps) * 2 * points);
                reader.ReadStepListDescending(ports, low + steps - 1, low, points, out);
                CheckFinite(out);
                break;
            }
            case 5: {
                usb.QueueReceive(kCommand, Answer(in, false, 4096));
                std::vector<std::uint8_t> memory(tavlin::kCalMemoryBytes);
                link.ReadCalMemory(memory.data(), progress);
                break;
            }
            case 6:
                usb.QueueReceive(kCommand, Answer(in, false, 32));
                link.GetFirmwareVersion();
                break;
            case 7: {
                const int start = in.ConsumeIntegral<std::uint16_t>();
                const int stop16 = in.ConsumeIntegral<std::uint16_t>();
                usb.QueueReceive(kCommand, Answer(in, false, 4096));
                std::vector<std::uint16_t> values(tavlin::kMaxDetectorValues);
                link.StartDetectorSweep(start, stop16, values.data());
                break;
            }
            case 8: {  // any command bytes, SLIP-framed
                const int count = in.ConsumeIntegralInRange(1, 5);
                for (int i = 0; i < count; ++i) {
                    link.commandBytes[i] = in.ConsumeIntegral<std::uint8_t>();
                }
                Require(link.SendCommand(count) == tavlin::kLinkOk);
                CheckLastFrame(usb, link, count);
                break;
            }
        }
        if (in.ConsumeBool()) {
            link.PurgeBoth();
        }
    }
    return 0;
}
