// libFuzzer target: a calibration cache file of any content, loaded as a
// preset loads it, then every level correction the table can produce over
// the whole band (0 .. 4.4 GHz and the slope beyond it), for every
// attenuator row, gain state and preamplifier state, and the IF path
// factors. A table is whatever bytes the file holds, so nothing that comes
// out of it may be infinite or NaN.
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "document_bench.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "support/recording_prompter.h"
#include "support/scripted_usb_driver.h"
#include "sweep/amplitude_correction.h"
#include "sweep/if_path_response.h"

namespace {

constexpr const char* kSerial = "TV000123";

class InstantClock final : public tavlin::Clock {
  public:
    TimePoint Now() override { return TimePoint(std::chrono::milliseconds(nowMs_)); }
    void SleepMs(int milliseconds) override { nowMs_ += milliseconds; }

  private:
    long long nowMs_ = 0;
};

using tavlin::fuzz::QuietProgress;

void RequireFinite(double value) {
    if (!std::isfinite(value)) {
        std::abort();
    }
}

const std::filesystem::path& CacheFolder() {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::filesystem::path f = base / ("tavlin-cal-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(f);
        return f;
    }();
    return folder;
}

void CheckBand(const tavlin::CalTable& table) {
    for (const double atten : {0.0, 5.0, 10.0, 15.0}) {
        for (int gain = 0; gain <= 2; ++gain) {
            for (int preamp = 0; preamp < 3; ++preamp) {
                const tavlin::LevelSettings settings{atten, gain, preamp > 0, preamp > 1};
                // The preamplifier's roll-off below 1 MHz, then steps a little
                // shorter than the table's (1 MHz in the low band, 10 MHz in
                // the high band), so both entries and the stretches between
                // them are met, up to beyond the table's end.
                for (double f = 0.0; f < 1e6; f += 25e3) {
                    RequireFinite(tavlin::AmplitudeCorrection(table, settings, f));
                }
                for (double f = 1e6; f <= 4.6e9; f += f < 150e6 ? 0.7e6 : 7e6) {
                    RequireFinite(tavlin::AmplitudeCorrection(table, settings, f));
                    RequireFinite(tavlin::AmplitudeCorrectionOnRoute(table, settings, f, f < 2e9));
                }
            }
        }
    }
    for (int decimation = 0; decimation < 8; ++decimation) {
        for (double offset = -150e3; offset <= 150e3; offset += 2.5e3) {
            RequireFinite(tavlin::IfPathPowerFactor(table, false, decimation, table.IfFreq1Hz(),
                                                    table.IfFreq1Hz() + offset));
            RequireFinite(tavlin::IfPathPowerFactor(table, true, decimation, table.IfFreq2Hz(),
                                                    table.IfFreq2Hz() + offset));
        }
    }
    RequireFinite(table.SampleRateHz());
    RequireFinite(table.IfFreq1Hz());
    RequireFinite(table.IfFreq2Hz());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(CacheFolder() / (std::string(kSerial) + ".kvo"),
                          std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // No instrument: a file the loader refuses leaves the table to a device
    // read that fails at once.
    InstantClock clock;
    tavlin::test::RecordingPrompter prompter;
    tavlin::test::ScriptedUsbDriver usb;
    tavlin::DeviceLink link(usb, clock, prompter);
    QuietProgress progress;
    tavlin::CalTable table(CacheFolder());
    const tavlin::CalLoadSource source = table.Load(kSerial, link, progress);
    if (source == tavlin::CalLoadSource::CacheFile) {
        // Only a file of exactly the cached part is taken, byte for byte.
        if (size != tavlin::CalTable::kCachedBytes ||
            std::memcmp(table.Bytes().data(), data, size) != 0) {
            std::abort();
        }
    }
    CheckBand(table);
    return 0;
}
