// The virtual unit, talked to only through the UsbDriver port with raw bytes:
// its interfaces, its trigger input and the scenes it is loaded from (the
// command bytes are pinned by the device link's tests, the levels by the
// end-to-end accuracy table).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <thread>
#include <vector>

#include "device/usb_driver.h"
#include "sim/factory_cal_image.h"
#include "sim/level_correction.h"
#include "sim/scene.h"
#include "sim/slip_decoder.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"

namespace tavlin::test {
namespace {

using namespace ::tavlin::sim;
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

// Both escapes decode; a reset (the unit powering down) forgets a part frame.
TEST(SimSlipDecoder, DecodesEscapesAndAResetForgetsAPartFrame) {
    SlipDecoder decoder;
    std::vector<Bytes> frames;
    const Bytes escaped{'E', 0xDB, 0xDC, 0xDB, 0xDD, 0x01, 0xC0};
    decoder.Feed(escaped.data(), escaped.size(), frames);
    EXPECT_EQ(frames, (std::vector<Bytes>{{'E', 0xC0, 0xDB, 0x01}}));
    const Bytes part{'A', 0x01};
    const Bytes next{'F', 0x01, 0xC0};
    decoder.Feed(part.data(), part.size(), frames);
    decoder.Reset();
    frames.clear();
    decoder.Feed(next.data(), next.size(), frames);
    EXPECT_EQ(frames, (std::vector<Bytes>{{'F', 0x01}}));
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

// A read on the data channel waits without holding the unit, so another
// thread can use the command channel meanwhile.
TEST(SimThreads, ReaderWaitsWhileAnotherThreadCommands) {
    SimSession session;
    session.Open();
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
        const char* text;
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
        {R"({"signals": [{"freq_hz": 1e6, "freq_hz": 2e6, "level_dbm": -3}]})",
         "'freq_hz' is given twice"},
        {R"({"serial": ""})", "'serial' must not be empty"},
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

// The self test expects 7 dB (low band) and 8 dB (high band) at 140 MHz, with
// the preamplifier fitted or not.
TEST(SimFactoryCalImage, MeetsTheSelfTestTargets) {
    for (const char* firmware : {"Tavlin 2.03", "Tavlin 1.50"}) {
        Scene scene;
        scene.firmware = firmware;
        // "1." anywhere but at the first character marks a unit without one.
        EXPECT_EQ(scene.PreampFitted(), firmware == std::string("Tavlin 2.03")) << firmware;
        const LevelCorrection table(FactoryCalImage::Measure(scene, TrueResponse::Of(scene)));
        for (const bool highBand : {false, true}) {
            const LevelSettings settings{2, 0, scene.PreampFitted(), false, highBand};
            EXPECT_NEAR(table.At(140e6, settings), highBand ? 8.0 : 7.0, 0.1) << firmware;
        }
    }
}

}  // namespace
}  // namespace tavlin::test
