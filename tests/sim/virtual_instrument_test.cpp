// The virtual unit, talked to only through the UsbDriver port with raw bytes:
// what it makes of the command bytes (the bytes themselves are pinned by the
// device link's tests, the levels by the end-to-end accuracy table), its
// interfaces, the faults it can be given, and the scenes it is loaded from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <vector>

#include "device/usb_driver.h"
#include "sim/cal_layout.h"
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

    // SLIP framing as the program sends it: escapes, then one frame end.
    int Send(const Bytes& commandBytes) {
        Bytes frame;
        for (const std::uint8_t byte : commandBytes) {
            if (byte == 0xC0 || byte == 0xDB) {
                frame.push_back(0xDB);
                frame.push_back(byte == 0xC0 ? 0xDC : 0xDD);
            } else {
                frame.push_back(byte);
            }
        }
        frame.push_back(0xC0);
        std::size_t written = 0;
        return driver.Write(command, frame.data(), frame.size(), written);
    }

    // A calibration memory word, read on B.
    Bytes ReadWord(int address) {
        Send({'E', 0xFF, 0x01, static_cast<std::uint8_t>(address & 0xFF),
              static_cast<std::uint8_t>(address >> 8)});
        return Read(command, 4);
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

TEST(SimUsbPort, AnOpenInterfaceIsFlaggedAndCannotBeOpenedTwice) {
    SimSession session;
    session.Open();
    EXPECT_EQ(OpenFlags(session.driver), (std::vector<bool>{true, true}));
    UsbHandle again = 99;
    EXPECT_EQ(session.driver.OpenByIndex(0, again), kUsbDeviceNotOpened);
    EXPECT_EQ(again, kNoHandle);
    EXPECT_EQ(session.driver.Close(session.data), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.data), kUsbInvalidHandle);
    EXPECT_EQ(session.driver.OpenByIndex(0, again), kUsbOk);
    EXPECT_NE(again, session.data);  // a stale handle never comes back to life

    SimSession held;  // another process holds the data interface
    held.unit.SetFaults({.dataChannelAlreadyOpen = true});
    EXPECT_EQ(OpenFlags(held.driver), (std::vector<bool>{true, false}));
    EXPECT_EQ(held.driver.OpenByIndex(0, held.data), kUsbDeviceNotOpened);
    EXPECT_EQ(held.driver.OpenByIndex(1, held.command), kUsbOk);
}

// An unplugged or port-cycled unit fails every call at once and its old
// handles stay dead; reopened, it is in its power-on state, its calibration
// memory (erased here) kept.
TEST(SimUsbPort, VanishedOrCycledUnitFailsEveryCallUntilReopened) {
    SimSession session;
    session.Open();
    session.Send({'O', 0x01});
    session.Send({'E', 0xFF, 0x15, 0x26, 0x37});
    session.Send({'E', 0xFF, 0x14, 0x25, 0x36});
    ASSERT_EQ(session.driver.CyclePort(session.data), kUsbOk);
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.data), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.command), kUsbOk);
    EXPECT_TRUE(OpenFlags(session.driver).empty()) << "off the bus for a while";
    session.clock.Advance(2500);
    session.Open();
    EXPECT_EQ(session.unit.State().syncTrigMode, 0);
    EXPECT_EQ(session.unit.Memory()[0], 0xFF);

    session.unit.Unplug();
    EXPECT_TRUE(OpenFlags(session.driver).empty());
    std::size_t waiting = 0;
    EXPECT_NE(session.driver.QueueStatus(session.data, waiting), kUsbOk);
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    EXPECT_EQ(session.clock.TotalSleptMs(), 0) << "failed at once";
}

// The memory takes an erase or data words only after the opening form, is
// locked again by the erase, and a write without an erase only clears bits.
TEST(SimCommands, CalibrationMemoryLocksAndWritesLikeFlash) {
    SimSession session;
    session.Open();
    const Bytes open{'E', 0xFF, 0x15, 0x26, 0x37};
    const Bytes erase{'E', 0xFF, 0x14, 0x25, 0x36};
    const Bytes factory = session.ReadWord(0);
    session.Send(erase);
    session.Send({'E', 0xF0, 0xF0, 0x0F, 0x0F});
    EXPECT_EQ(session.ReadWord(0), factory) << "neither erase nor data before the opening form";
    session.Send(open);
    session.Send({'E', 0xF0, 0xF0, 0x0F, 0x0F});
    EXPECT_EQ(session.ReadWord(0), (Bytes{0x00, 0x00, 0x00, 0x00}))
        << "no erase: bits only cleared";
    EXPECT_EQ(session.unit.Memory()[CalLayout::kIfGain2_9Low], 110);
    session.Send(open);
    session.Send(erase);
    EXPECT_EQ(session.ReadWord(4092), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    session.Send({'E', 0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(session.ReadWord(0)[0], 0xFF) << "locked again after the erase";

    session.Send(open);
    for (const Bytes& word :
         {Bytes{'E', 0x12, 0x34, 0x56, 0x78}, Bytes{'E', 0xFE, 0x01, 0, 0}, open}) {
        session.Send(word);  // the opening form mid-sequence is data
    }
    EXPECT_EQ(session.ReadWord(4), (Bytes{0xFE, 0x01, 0x00, 0x00}));
    EXPECT_EQ(session.ReadWord(8), (Bytes{0xFF, 0x15, 0x26, 0x37}));
    EXPECT_EQ(session.ReadWord(2), (Bytes{0x56, 0x78, 0xFE, 0x01}));
}

// Each case feeds its writes in turn (resetting the decoder before the last
// one where asked) and expects the frames completed by the last one.
TEST(SimSlipDecoder, FramesEscapesSplitsGarbageAndReset) {
    struct Case {
        const char* what;
        std::vector<Bytes> writes;
        std::vector<Bytes> frames;
        bool resetBeforeLast = false;
    };
    const Case cases[] = {
        {"escapes", {{'E', 0xDB, 0xDC, 0xDB, 0xDD, 0x01, 0xC0}}, {{'E', 0xC0, 0xDB, 0x01}}},
        {"escape before an ordinary byte keeps it", {{'M', 0xDB, 0x01, 0xC0}}, {{'M', 0x01}}},
        {"split frames and a split escape",
         {{'L', 0x00, 0xDB}, {0xDC, 0x4C}, {0x42, 0xC0, 'V', 0xC0, 'T'}},
         {{'L', 0x00, 0xC0, 0x4C, 0x42}, {'V'}}},
        {"empty frames are dropped", {{0xC0, 0xC0}}, {}},
        {"a frame too long to be a command is dropped",
         {Bytes(1000, 0x41), {0xC0, 0x41, 0x02, 0xC0}},
         {{0x41, 0x02}}},
        {"reset forgets a part frame", {{'A', 0x01}, {'F', 0x01, 0xC0}}, {{'F', 0x01}}, true},
    };
    for (const Case& c : cases) {
        SlipDecoder decoder;
        std::vector<Bytes> frames;
        for (std::size_t i = 0; i < c.writes.size(); ++i) {
            if (c.resetBeforeLast && i + 1 == c.writes.size()) {
                decoder.Reset();
            }
            frames.clear();
            decoder.Feed(c.writes[i].data(), c.writes[i].size(), frames);
        }
        EXPECT_EQ(frames, c.frames) << c.what;
    }
}

// Each fault the unit can be given, as the data channel shows it. The scene
// has a trigger every 100 ms, so only the no-trigger fault keeps a capture on
// TRIG IN from coming, until leaving TRIG IN drops the waiting capture.
TEST(SimData, InjectedFaultsShowOnTheDataChannel) {
    struct Row {
        const char* name;
        SimFaults faults;
        std::vector<Bytes> commands;
        std::size_t queued;
        int firstByte;  // -1: not checked
    };
    const Bytes capture{'S', 0x01};
    const Row rows[] = {
        {"none", {}, {{'O', 0x03}, capture}, 4 + kBlock, 0xA5},
        {"short capture", {.shortCaptures = 1}, {capture}, 4 + kBlock - 4, 0xA5},
        {"wrong header", {.wrongHeaders = 1}, {capture}, 4 + kBlock, 0x00},
        {"refused write", {.failedWrites = 1}, {capture}, 0, -1},
        {"missing step block", {.missingStepBlock = 3}, {{'N', 0, 2, 9, 2}}, 9 * kBlock, -1},
        {"no trigger", {.noTrigger = true}, {{'O', 0x03}, capture}, 0, -1},
        {"no trigger, TRIG IN left",
         {.noTrigger = true},
         {{'O', 3}, capture, {'O', 0}, capture},
         4 + kBlock,
         0xA5},
    };
    for (const Row& row : rows) {
        Scene scene;
        scene.trigger = SceneTrigger{100.0};
        SimSession s(scene);
        s.Open();
        s.driver.SetTimeouts(s.data, 0, 0);  // look without waiting
        s.unit.SetFaults(row.faults);
        for (const Bytes& command : row.commands) {
            s.Send(command);
        }
        s.clock.Advance(1000);
        std::size_t waiting = 0;
        EXPECT_EQ(s.driver.QueueStatus(s.data, waiting), kUsbOk) << row.name;
        EXPECT_EQ(waiting, row.queued) << row.name;
        if (row.firstByte >= 0) {
            EXPECT_EQ(s.Read(s.data, 1).at(0), row.firstByte) << row.name;
        }
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
        {R"({"external_reference": 1})", "'external_reference' must be true or false"},
        {"[1, 2]", "the top level must be an object"},
        {R"({"signals": {}})", "'signals' must be a list"},
        {R"({"signals": [{"freq_hz": 1e6, "level_dbm": -3, "am": {"rate_hz": 1e3, "depth": 1.5}}]})",
         "'signals[0].am.depth' must lie between 0 and 1..."},
        {R"({"tcxo_ppb": 40000})", "'tcxo_ppb' must lie between ..."},
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
// the preamplifier fitted or not; and the program must be able to write the
// table back, so no word may read as a memory command.
TEST(SimFactoryCalImage, MeetsTheSelfTestTargetsAndSurvivesTheWriteSequence) {
    for (const char* firmware : {"Tavlin 2.03", "Tavlin 1.50"}) {
        Scene scene;
        scene.firmware = firmware;
        // "1." anywhere but at the first character marks a unit without one.
        EXPECT_EQ(scene.PreampFitted(), firmware == std::string("Tavlin 2.03")) << firmware;
        const CalMemory::Image image = FactoryCalImage::MemoryContents(scene);
        const LevelCorrection table(image);
        for (const bool highBand : {false, true}) {
            const LevelSettings settings{2, 0, scene.PreampFitted(), false, highBand};
            EXPECT_NEAR(table.At(140e6, settings), highBand ? 8.0 : 7.0, 0.002) << firmware;
        }
        for (std::size_t a = 0; a < image.size(); a += 4) {
            const bool read = image[a] == 0xFF && image[a + 1] == 0x01;
            const bool erase = image[a] == 0xFF && image[a + 1] == 0x14 && image[a + 2] == 0x25 &&
                               image[a + 3] == 0x36;
            EXPECT_FALSE(read || erase) << "address " << a;
        }
    }
}

TEST(SimFactoryCalImage, BlankUnitIsErasedButKeepsAResponse) {
    Scene scene;
    scene.calibration = SceneCalibration::Blank;
    const CalMemory::Image memory = FactoryCalImage::MemoryContents(scene);
    EXPECT_TRUE(std::all_of(memory.begin(), memory.end(), [](auto b) { return b == 0xFF; }));
    Scene factory = scene;
    factory.calibration = SceneCalibration::Factory;
    EXPECT_EQ(FactoryCalImage::TrueResponse(scene), FactoryCalImage::MemoryContents(factory));
}

}  // namespace
}  // namespace tavlin::test
