// The virtual unit, talked to only through the UsbDriver port with raw bytes:
// its interfaces, its trigger input and the scenes it is loaded from (the
// command bytes are pinned by the device link's tests, the levels by the
// end-to-end accuracy table).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <vector>

#include "device/cal_table.h"
#include "device/usb_driver.h"
#include "sim/factory_cal_image.h"
#include "sim/level_settings.h"
#include "sim/receiver_model.h"
#include "sim/scene.h"
#include "sim/true_response.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"
#include "sweep/amplitude_correction.h"

namespace tavlin::test {
namespace {

using namespace ::tavlin::sim;
using ::tavlin::sim::LevelSettings;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kBlock = 4 * 512;

// A virtual unit on a fake clock, opened the way the device link opens it.
class SimSession {
  public:
    explicit SimSession(const Scene& scene = DefaultScene()) : unit(clock, scene) {}

    // Opens A (index 0) and B (index 1) with the link's settings, then sends
    // the power-on commands: synthesizer register 2 and the sampler's start.
    void Open() {
        ASSERT_EQ(driver.OpenByIndex(0, data), kUsbOk);
        ASSERT_EQ(driver.OpenByIndex(1, command), kUsbOk);
        ASSERT_EQ(driver.SetBaudRate(command, 46667), kUsbOk);
        ASSERT_EQ(driver.SetTimeouts(command, 5000, 5000), kUsbOk);
        ASSERT_EQ(driver.SetTimeouts(data, 1000, 1000), kUsbOk);
        for (const Bytes& c :
             {Bytes{'L', 0x00, 0x00, 0x4C, 0x42}, Bytes{'I', 0x00, 0x75}, Bytes{'I', 0x38, 0x03},
              Bytes{'I', 0x00, 0x74}, Bytes{'I', 0x00, 0x70}, Bytes{'I', 0x38, 0x00}}) {
            Send(c);
        }
    }

    // One SLIP frame. No command sent here holds a byte that needs escaping;
    // the decoder's own test covers escapes.
    int Send(Bytes frame) {
        frame.push_back(0xC0);
        std::size_t written = 0;
        return driver.Write(command, frame.data(), frame.size(), written);
    }

    Bytes Read(UsbHandle handle, std::size_t count) {
        Bytes bytes(count);
        std::size_t got = 0;
        EXPECT_EQ(driver.Read(handle, bytes.data(), count, got), kUsbOk);
        bytes.resize(got);
        return bytes;
    }

    FakeClock clock;
    VirtualInstrument unit;
    UsbDriver& driver = unit;
    UsbHandle data = kNoHandle;
    UsbHandle command = kNoHandle;
};

std::vector<bool> OpenFlags(UsbDriver& driver) {
    int count = -1;
    EXPECT_EQ(driver.DeviceCount(count), kUsbOk);
    std::vector<bool> flags;
    for (int i = 0; i < count; ++i) {
        UsbDeviceInfo info;
        EXPECT_EQ(driver.DeviceInfo(i, info), kUsbOk);
        flags.push_back(info.alreadyOpen);
    }
    return flags;
}

// An open interface is flagged and cannot be opened twice. A port-cycled or
// unplugged unit fails every call at once and its old handles stay dead;
// reopened, it is in its power-on state.
TEST(SimUsbPort, OpenCycledAndUnpluggedUnits) {
    SimSession session;
    session.Open();
    EXPECT_EQ(OpenFlags(session.driver), (std::vector<bool>{true, true}));
    UsbHandle again = 99;
    EXPECT_EQ(session.driver.OpenByIndex(0, again), kUsbDeviceNotOpened);
    EXPECT_EQ(again, kNoHandle);
    session.Send({'O', 0x01});
    ASSERT_EQ(session.driver.CyclePort(session.data), kUsbOk);
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    const UsbHandle stale = session.data;
    EXPECT_EQ(session.driver.Close(session.data), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.data), kUsbInvalidHandle);
    EXPECT_EQ(session.driver.Close(session.command), kUsbOk);
    EXPECT_TRUE(OpenFlags(session.driver).empty()) << "off the bus for a while";
    session.clock.Advance(2500);
    session.Open();
    EXPECT_NE(session.data, stale) << "a stale handle never comes back to life";
    EXPECT_EQ(session.unit.State().syncTrigMode, 0);

    session.unit.Unplug();
    EXPECT_TRUE(OpenFlags(session.driver).empty());
    std::size_t waiting = 0;
    EXPECT_NE(session.driver.QueueStatus(session.data, waiting), kUsbOk);
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    EXPECT_EQ(session.clock.TotalSleptMs(), 0) << "failed at once";
}

// A scene's unplug fault pulls the cable after its count of command frames,
// in the middle of a write, and puts it back later as a freshly powered unit.
TEST(SimUsbPort, SceneUnplugsTheUnitAfterItsCommandsAndPlugsItBackLater) {
    const SceneLoadResult loaded = ParseScene(
        R"({"faults": {"unplug_after_commands": 7, "replug_after_ms": 3000}})", "unplug.json");
    ASSERT_TRUE(loaded.scene) << loaded.error;
    SimSession session(*loaded.scene);
    session.Open();  // six commands
    EXPECT_EQ(session.Send({'O', 0x01}), kUsbOk);
    EXPECT_EQ(session.unit.State().syncTrigMode, 0) << "the unit lost power";
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    EXPECT_TRUE(OpenFlags(session.driver).empty());
    session.clock.Advance(2999);
    EXPECT_TRUE(OpenFlags(session.driver).empty());
    session.clock.Advance(1);
    EXPECT_EQ(OpenFlags(session.driver), (std::vector<bool>{false, false}));
    EXPECT_NE(session.Send({'V'}), kUsbOk) << "old handles stay dead";
    session.Open();
    EXPECT_EQ(session.Send({'O', 0x01}), kUsbOk) << "the fault strikes once";
    EXPECT_EQ(session.unit.State().syncTrigMode, 1);
}

// On TRIG IN a capture waits for an edge (the scene gives one every 100 ms);
// with no edges it waits until TRIG IN is left, which drops it.
TEST(SimData, TriggeredCaptureWaitsForAnEdge) {
    const Bytes capture{'S', 0x01};
    const struct {
        const char* name;
        bool edges;
        std::vector<Bytes> commands;
        std::size_t queued;
    } rows[] = {
        {"edges", true, {{'O', 3}, capture}, 4 + kBlock},
        {"no edges", false, {{'O', 3}, capture}, 0},
        {"no edges, TRIG IN left", false, {{'O', 3}, capture, {'O', 0}, capture}, 4 + kBlock},
    };
    for (const auto& row : rows) {
        Scene scene;
        scene.trigger = SceneTrigger{100.0};
        SimSession s(scene);
        s.Open();
        s.driver.SetTimeouts(s.data, 0, 0);  // look without waiting
        s.unit.SetFaults({.noTrigger = !row.edges});
        for (const Bytes& command : row.commands) {
            s.Send(command);
        }
        s.clock.Advance(1000);
        std::size_t waiting = 0;
        EXPECT_EQ(s.driver.QueueStatus(s.data, waiting), kUsbOk) << row.name;
        EXPECT_EQ(waiting, row.queued) << row.name;
    }
}

// A read of a capture sleeps until the whole of it is due (16 blocks of 512
// pairs at 486111 pairs/s: 16.9 ms) rather than polling, and no longer.
TEST(SimData, ReadSleepsUntilItsDataIsDue) {
    SimSession session;
    session.Open();
    session.Send({'S', 0x10});
    const long long sleepsBefore = session.clock.Sleeps();
    const long long sleptBefore = session.clock.TotalSleptMs();
    EXPECT_EQ(session.Read(session.data, 4 + 16 * kBlock).size(), 4u + 16 * kBlock);
    EXPECT_EQ(session.clock.TotalSleptMs() - sleptBefore, 17);
    EXPECT_LE(session.clock.Sleeps() - sleepsBefore, 2);
}

// The sampler settles for 150 ms after its initialisation: a capture taken
// sooner is silence, one taken later carries the sampler's noise at least.
TEST(SimData, SamplerDeliversOnlyOnceSettled) {
    for (const int waitMs : {0, 150}) {
        SimSession session;
        session.Open();
        session.clock.Advance(waitMs);
        session.Send({'S', 0x01});
        const Bytes capture = session.Read(session.data, 4 + kBlock);
        const bool silent =
            std::all_of(capture.begin() + 4, capture.end(), [](std::uint8_t b) { return b == 0; });
        EXPECT_EQ(silent, waitMs == 0) << waitMs << " ms";
    }
}

// A read on the data channel waits without holding the unit, so another
// thread can use the command channel meanwhile.
TEST(SimThreads, ReaderWaitsWhileAnotherThreadCommands) {
    SimSession session;
    session.Open();
    // The reader's own sleeps move the virtual clock: a long time-out keeps
    // it waiting however late the scheduler lets the command through.
    ASSERT_EQ(session.driver.SetTimeouts(session.data, 3600000, 3600000), kUsbOk);
    Bytes got;
    std::thread reader([&] { got = session.Read(session.data, 4 + kBlock); });
    session.clock.SleepMs(30);
    session.Send({'S', 0x01});
    reader.join();
    EXPECT_EQ(got.size(), 4u + kBlock);
}

// --- Scenes and the calibration image they give the unit -------------------------

TEST(SimScene, BadScenesAreRefusedWithFileAndProblem) {
    struct Row {
        std::string text;
        std::string error;  // after "scene file 'bad.json': "; "...": how it begins
    };
    const Row rows[] = {
        {R"({"serial": "TV0001234"})", "'serial' must be at most 8 characters"},
        {R"({"signals": [{"freq_hz": 1e6, "level_dbm": "loud"}]})",
         "'signals[0].level_dbm' must be a number"},
        {R"({"signals": [{"level_dbm": -3}]})", "'signals[0].freq_hz' is missing"},
        {R"({"calibration": "factory-ish"})", "'calibration' must be \"factory\" or \"blank\""},
        {R"({"noise_flor_dbm_hz": -150})", "unknown key 'noise_flor_dbm_hz'"},
        {"[1, 2]", "the top level must be an object"},
        {R"({"signals": [{"freq_hz": 1e6, "level_dbm": -3, "am": {"rate_hz": 1e3, "depth": 1.5}}]})",
         "'signals[0].am.depth' must lie between 0 and 1..."},
        {R"({"serial": "TV1",)", "not valid JSON: ..."},
        {R"({"serial": "TV1", "signals": [], "serial": "TV2"})", "'serial' is given twice"},
        {R"({"serial": ""})", "'serial' must not be empty"},
        {R"({"signals": [{"freq_hz": 1e6, "level_dbm": -3,
             "phase_noise_dbc_hz": [[1e3, -90], [1e2, -80]]}]})",
         "'signals[0].phase_noise_dbc_hz[1]' must lie above the point before it"},
        {R"({"signals": [{"freq_hz": 1e6, "level_dbm": -3, "noise_bandwidth_hz": 1e4,
             "fm": {"rate_hz": 1e3, "deviation_hz": 1e3}}]})",
         "'signals[0].noise_bandwidth_hz' cannot be combined with am, fm or phase_noise_dbc_hz"},
        {R"({"signals": [{"iq_file": "none.sigmf-meta", "level_dbm": -3}]})",
         "unknown key 'level_dbm' in signals[0]"},
        {R"({"signals": [{"iq_file": "/nonexistent/none.sigmf-meta"}]})",
         "'signals[0].iq_file': Cannot open /nonexistent/none.sigmf-meta..."},
        {R"({"faults": {"short_captures": 1, "slow_replies": 2}})",
         "unknown key 'slow_replies' in faults"},
        {R"({"faults": {"failed_writes": 1.5}})", "'faults.failed_writes' must be a whole number"},
        {R"({"faults": {"unplug_after_commands": -1}})",
         "'faults.unplug_after_commands' must lie between 0 and..."},
        {R"({"faults": {"listing": "nothing"}})", "'faults.listing' must be \"normal\"..."},
        {R"({"faults": {"no_trigger": 1}})", "'faults.no_trigger' must be true or false"},
        {R"({"tcxo_ppb": )" + std::string(100000, '9') + "}", "not valid JSON: ..."},
        {"{\"" + std::string(100000, 'k') + "\": 1}", "unknown key 'kkk..."},
    };
    for (const Row& row : rows) {
        const SceneLoadResult result = ParseScene(row.text, "bad.json");
        EXPECT_FALSE(result.scene.has_value()) << row.text;
        std::string expected = "scene file 'bad.json': " + row.error;
        if (expected.ends_with("...")) {
            expected.resize(expected.size() - 3);
            EXPECT_EQ(result.error.rfind(expected, 0), 0u) << result.error;
        } else {
            EXPECT_EQ(result.error, expected);
        }
        EXPECT_LT(result.error.size(), 300u) << "a long value is cut";
    }
    EXPECT_EQ(LoadSceneFile("/nonexistent/dir/none.json").error,
              "scene file: Cannot open /nonexistent/dir/none.json: No such file or directory");
}

TEST(SimScene, EveryShippedSceneLoads) {
    int loaded = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(TAVLIN_SOURCE_DIR) / "scenes")) {
        if (entry.path().extension() == ".json") {
            const SceneLoadResult result = LoadSceneFile(entry.path());
            EXPECT_TRUE(result.scene) << result.error;
            ++loaded;
        }
    }
    EXPECT_GE(loaded, 6);
}

// The factory table is a measurement of the unit's own response, encoded
// field by field: read by the program's reader it gives that response within
// its rounding, the sampling of its points and what it cannot hold (a plain
// unit's gain steps, the steps' drift with frequency), on both routes, every
// attenuator row and gain state, with the preamplifier on, off and not
// fitted. The response puts the self-test point at 7 dB (low band) and 8 dB
// (high band).
TEST(SimFactoryCalImage, TableReadsTheUnitsOwnResponseWithinItsRounding) {
    for (const char* firmware : {"Tavlin 2.03", "Tavlin 1.50"}) {
        Scene scene;
        scene.firmware = firmware;
        // "1." anywhere but at the first character marks a unit without one.
        const bool preamp = scene.PreampFitted();
        EXPECT_EQ(preamp, firmware == std::string("Tavlin 2.03")) << firmware;
        const TrueResponse truth = TrueResponse::Of(scene);
        CalTable table;
        const CalMemory::Image image = FactoryCalImage::Measure(scene, truth);
        std::copy(image.begin(), image.end(), table.Bytes().begin());
        table.DeriveValues();
        for (const bool high : {false, true}) {
            const LevelSettings selfTest{2, 0, preamp, false, high};
            EXPECT_NEAR(truth.CorrectionDb(140e6, selfTest), high ? 8.0 : 7.0, 0.05) << firmware;
            for (const double hz : high ? std::vector{150e6, 433.3e6, 2401e6, 4387e6}
                                        : std::vector{0.45e6, 27.3e6, 98.7e6, 149.5e6}) {
                for (int row = 0; row < 4; ++row) {
                    const LevelSettings s{row, row % 3, preamp, preamp && row > 1, high};
                    const ::tavlin::LevelSettings read{5.0 * row, row % 3, preamp, s.preampOn};
                    EXPECT_NEAR(AmplitudeCorrectionOnRoute(table, read, hz, high),
                                truth.CorrectionDb(hz, s), 0.1)
                        << firmware << " at " << hz << " Hz, row " << row;
                }
            }
        }
    }
}

// The scene's response replaces the built-in one part by part; a blank unit's
// built-in response differs from a factory unit's.
TEST(SimScene, ResponseGivenByTheSceneIsTheUnits) {
    const SceneLoadResult given = ParseScene(R"({"calibration": "blank", "response": {
        "low_band_gain_db": [[1e6, 4.0], [200e6, 2.0]], "attenuator_db": [0, 5, 10.5, 15],
        "gain_steps_db": [16, 12], "if_10m7_db": [[-1e5, -2.0], [0, 0.5], [1e5, -1.0]]}})",
                                             "given.json");
    ASSERT_TRUE(given.scene) << given.error;
    const TrueResponse truth = TrueResponse::Of(*given.scene);
    const LevelSettings low{2, 0, true, false, false};
    EXPECT_NEAR(truth.CorrectionDb(100.5e6, low), -3.0 + 0.5 + 16.0, 1e-9);
    EXPECT_NEAR(truth.IfResponseDb(0, 10.6e6), -2.5, 1e-9);
    Scene factory;
    Scene blank;
    blank.calibration = SceneCalibration::Blank;
    const LevelSettings high{2, 1, true, false, true};
    EXPECT_GT(std::abs(TrueResponse::Of(blank).CorrectionDb(915e6, high) -
                       TrueResponse::Of(factory).CorrectionDb(915e6, high)),
              0.5);
}

// The receiver's filters: a tone beyond half the output rate passes the
// decimating filter's stop band attenuated (and aliases in the samples)
// rather than vanishing; noise comes through both mixing sides, so an LO
// with only one side above 0 Hz gets half of it.
TEST(SimReceiverModel, ToneBeyondTheOutputBandIsAttenuatedAndNoiseHasTwoSides) {
    Scene scene;
    scene.noiseFloorDbmHz = -80.0;  // far above the sampler's own noise
    scene.response.lowBandGainDb = {{0.0, 0.0}};
    scene.response.highBandGainDb = {{0.0, 0.0}};
    scene.response.if10M7Db = {{0.0, 0.0}};
    const double lo = 989.3e6;
    const double tune = 10694444.444;
    scene.signals = {{lo + tune - 5e3, -30.0, std::nullopt, std::nullopt},
                     {lo + tune - 40e3, -30.0, std::nullopt, std::nullopt}};
    const ReceiverModel model(scene, TrueResponse::Of(scene));
    ReceiverState state;
    state.samplerReady = true;
    state.attenIndex = 0;
    state.samplerRegisters[ReceiverState::kRegDecimation] = 15 + 16;
    const SamplePlan plan = model.Plan(state, lo);
    ASSERT_EQ(plan.tones.size(), 2u);
    EXPECT_GT(std::abs(plan.tones[1].basebandHz), plan.outputRateHz / 2.0);
    const double dropDb = 20.0 * std::log10(plan.tones[1].amplitude / plan.tones[0].amplitude);
    EXPECT_NEAR(
        dropDb,
        TrueResponse::DecimationFilterDb(16, 40e3) - TrueResponse::DecimationFilterDb(16, 5e3),
        1e-6);
    EXPECT_LT(dropDb, -60.0);
    const auto noisePower = [&](double loHz) {
        double power = 0.0;
        for (const auto& tap : model.Plan(state, loHz).noiseTaps) {
            power += 2.0 * std::norm(tap);
        }
        return power;
    };
    EXPECT_NEAR(10.0 * std::log10(noisePower(lo) / noisePower(5e6)), 3.01, 0.05);
}

// A band of noise carries the power a carrier of its level would, spread
// evenly over its bandwidth and nowhere else; it is no tone.
TEST(SimReceiverModel, NoiseBandSpreadsItsLevelOverItsBandwidth) {
    Scene scene;
    const double lo = 989.3e6;
    const double centre = lo + 10694444.444 - 3e3;
    const double bandwidth = 20e3;
    SceneEmitter emitter;
    emitter.freqHz = centre;
    emitter.levelDbm = -30.0;
    scene.signals.push_back(emitter);
    ReceiverState state;
    state.samplerReady = true;
    const SamplePlan carrier = ReceiverModel(scene, TrueResponse::Of(scene)).Plan(state, lo);
    ASSERT_EQ(carrier.tones.size(), 1u);
    EXPECT_TRUE(carrier.sidebandDensity.empty());

    scene.signals[0].noiseBandwidthHz = bandwidth;
    const SamplePlan band = ReceiverModel(scene, TrueResponse::Of(scene)).Plan(state, lo);
    EXPECT_TRUE(band.tones.empty());
    const std::size_t bins = band.sidebandDensity.size();
    ASSERT_GT(bins, 0u);
    const double binHz = band.outputRateHz / static_cast<double>(bins);
    double power = 0.0;
    double lowest = 1e9;
    double highest = -1e9;
    for (std::size_t m = 0; m < bins; ++m) {
        if (band.sidebandDensity[m] > 0.0) {
            const double hz = (static_cast<double>(m) - static_cast<double>(bins / 2)) * binHz;
            power += band.sidebandDensity[m] * binHz;
            lowest = std::min(lowest, hz);
            highest = std::max(highest, hz);
        }
    }
    const double tonePower = carrier.tones[0].amplitude * carrier.tones[0].amplitude;
    EXPECT_NEAR(10.0 * std::log10(power / tonePower), 0.0, 0.3);
    const double baseband = carrier.tones[0].basebandHz;
    EXPECT_NEAR(lowest, baseband - bandwidth / 2, binHz);
    EXPECT_NEAR(highest, baseband + bandwidth / 2, binHz);
}

}  // namespace
}  // namespace tavlin::test
