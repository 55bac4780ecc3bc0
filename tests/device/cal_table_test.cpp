#include "device/cal_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "support/fake_cal_memory.h"
#include "support/fake_clock.h"
#include "support/recording_progress_sink.h"
#include "support/recording_prompter.h"
#include "support/scripted_usb_driver.h"

namespace tavlin {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void SetWord(CalTable& table, int offset, std::uint16_t value) {
    table.Bytes()[offset] = static_cast<std::uint8_t>(value & 0xFF);
    table.Bytes()[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A private folder for cache files, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "tavlin-cal-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
}

// --- Layout and derived values ------------------------------------------------

TEST(CalTableFields, ReadTheirBytesAtTheMemoryOffsets) {
    CalTable table;
    auto& b = table.Bytes();
    b[0] = 0xFF;
    b[0x70 + 14] = 21;
    b[0x81] = 31;
    b[0x82] = 32;
    b[0x83] = 33;
    b[0x84 + 2 * 150 + 7] = 160;
    b[0x2DC + 3 * 426 + 425] = 112;
    b[0x984 + 51] = 97;
    b[0x9B8] = 98;
    SetWord(table, 0x9EC, 0x1234);
    SetWord(table, 0x9EE, 0x2345);
    SetWord(table, 0x9F0, 0x3456);
    SetWord(table, 0x9F2, 0x4567);
    SetWord(table, 0x9F4, 0x5678);
    b[0x9F8 + 149] = 41;
    b[0xA8E + 425] = 42;

    EXPECT_EQ(table.BlankMark(), 0xFF);
    EXPECT_EQ(table.PreampRolloff(14), 21);
    EXPECT_EQ(table.IfGain2_9(false), 31);
    EXPECT_EQ(table.IfGain2_9(true), 32);
    EXPECT_EQ(table.BroadbandPower(), 33);
    EXPECT_EQ(table.LowBandFlatness(2, 7), 160);
    EXPECT_EQ(table.HighBandFlatness(3, 425), 112);
    EXPECT_EQ(table.IfFlatness10M7(51), 97);
    EXPECT_EQ(table.IfFlatness2M9(0), 98);
    EXPECT_EQ(table.LowGainStep(), 0x1234);
    EXPECT_EQ(table.HighGainStep(), 0x2345);
    EXPECT_EQ(table.IfClip(true), 0x3456);
    EXPECT_EQ(table.IfClip(false), 0x4567);
    EXPECT_EQ(table.TcxoOffset(), 0x5678);
    EXPECT_EQ(table.PreampLowBand(149), 41);
    EXPECT_EQ(table.PreampHighBand(425), 42);
    // The last preamp entry is the last cached byte.
    EXPECT_EQ(0xA8E + 425 + 1, CalTable::kCachedBytes);
}

TEST(CalTableFields, CalDateStopsAtTheTerminatorOrAfter48Bytes) {
    CalTable table;
    std::fill_n(table.Bytes().begin() + 64, 48, 'x');
    table.Bytes()[64 + 48] = 'y';  // the first preamp roll-off byte
    EXPECT_EQ(table.CalDate(), std::string(48, 'x'));
    table.Bytes()[64 + 5] = 0;
    EXPECT_EQ(table.CalDate(), "xxxxx");
}

TEST(CalTableDerived, TcxoOffsetScalesTheNominalFrequencies) {
    CalTable table;
    SetWord(table, 2548, 32768);
    table.DeriveValues();
    EXPECT_EQ(table.TimebaseCorrection(), 1.0);
    EXPECT_DOUBLE_EQ(table.IfFreq1Hz(), 10694444.4444);
    EXPECT_DOUBLE_EQ(table.IfFreq2Hz(), 2916666.6667);
    EXPECT_DOUBLE_EQ(table.SampleRateHz(), 486111.1111);

    SetWord(table, 2548, 32868);  // +100 ppb scales every frequency
    for (int i = 0; i < 52; ++i) {
        table.Bytes()[2436 + i] = static_cast<std::uint8_t>(100 + i);
        table.Bytes()[2488 + i] = static_cast<std::uint8_t>(50 + i);
    }
    table.DeriveValues();
    EXPECT_DOUBLE_EQ(table.TimebaseCorrection(), 1.0000001);
    EXPECT_NEAR(table.IfFreq1Hz(), 10694445.51384, 5e-6);
    EXPECT_NEAR(table.SampleRateHz(), 486111.1111 * 1.0000001, 1e-9);
    EXPECT_DOUBLE_EQ(table.IfResponse()[0], 1.0);
    EXPECT_DOUBLE_EQ(table.IfResponse()[50], 1.5);
    EXPECT_DOUBLE_EQ(table.IfResponse2()[50], 1.0);
}

// --- Cache file name ------------------------------------------------------------

TEST(CalTableCacheName, KeepsOnlySafeCharactersOfTheSerial) {
    CalTable table("/cache");
    EXPECT_EQ(table.CacheFilePath("TV000123"), fs::path("/cache/TV000123.kvo"));
    EXPECT_EQ(table.CacheFilePath("../../x"), fs::path("/cache/x.kvo"));
    EXPECT_EQ(table.CacheFilePath("a-b_c/d\\e f\xC3\xA9"), fs::path("/cache/a-b_cdef.kvo"));
    EXPECT_EQ(table.CacheFilePath(""), fs::path("/cache/.kvo"));
    EXPECT_EQ(table.CacheFilePath("/.."), fs::path("/cache/.kvo"));
}

// --- Load and store against the instrument ------------------------------------------

class CalTableLoad : public ::testing::Test {
  protected:
    CalTableLoad() : memory(driver, clock), link(driver, clock, prompter), table(folder.Path()) {
        driver.AddGenuinePair();
        memory.FillPattern();
    }
    void SetUp() override { ASSERT_TRUE(link.Open()); }

    fs::path CacheFile(const std::string& name = "TV000123.kvo") const {
        return folder.Path() / name;
    }
    Bytes CachedPart() const { return Bytes(memory.memory.begin(), memory.memory.begin() + 3128); }

    TempFolder folder;
    test::ScriptedUsbDriver driver;
    test::FakeClock clock;
    test::RecordingPrompter prompter;
    test::RecordingProgressSink progress;
    test::FakeCalMemory memory;
    DeviceLink link;
    CalTable table;
};

TEST_F(CalTableLoad, WithoutCacheReadsTheDeviceAndCachesTheTable) {
    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device);

    EXPECT_EQ(memory.Reads(), 1024);
    EXPECT_TRUE(std::equal(memory.memory.begin(), memory.memory.end(), table.Bytes().begin()));
    EXPECT_EQ(ReadFile(CacheFile()), CachedPart());
    EXPECT_EQ(table.TimebaseCorrection(), table.TimebaseFromTable());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
}

TEST_F(CalTableLoad, WithCacheFileSendsNoMemoryTraffic) {
    Bytes cached(3128, 0x55);
    cached[2548] = 0x64;  // tcxoOffset 32868
    cached[2549] = 0x80;
    WriteFile(CacheFile(), cached);

    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::CacheFile);

    EXPECT_TRUE(memory.commands.empty());
    EXPECT_TRUE(progress.Events().empty());
    EXPECT_TRUE(std::equal(cached.begin(), cached.end(), table.Bytes().begin()));
    EXPECT_DOUBLE_EQ(table.TimebaseCorrection(), 1.0000001);
}

TEST_F(CalTableLoad, CacheFileOfAnyOtherSizeIsReplacedFromTheDevice) {
    for (std::size_t size :
         {std::size_t{0}, std::size_t{3127}, std::size_t{3129}, std::size_t{4096}}) {
        SCOPED_TRACE(size);
        WriteFile(CacheFile(), Bytes(size, 0x11));
        memory.commands.clear();

        EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device);

        EXPECT_EQ(memory.Reads(), 1024);
        EXPECT_EQ(table.Bytes()[0], memory.memory[0]);
        EXPECT_EQ(ReadFile(CacheFile()), CachedPart());
    }
}

TEST_F(CalTableLoad, BlankDeviceIsCachedAsBlank) {
    memory.memory.fill(0xFF);

    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device);

    EXPECT_EQ(table.BlankMark(), 0xFF);
    EXPECT_EQ(table.TcxoOffset(), 65535);
    EXPECT_DOUBLE_EQ(table.TimebaseCorrection(), 1.0 + 32767e-9);
    EXPECT_EQ(ReadFile(CacheFile()), Bytes(3128, 0xFF));
}

TEST_F(CalTableLoad, IncompleteReadIsUsedButNotCachedSoTheNextLoadAsksAgain) {
    memory.shortReplyAt = {2544};  // half of the word that holds both level references

    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::DeviceIncomplete);
    EXPECT_EQ(table.IfClip(false), 0x8080);
    EXPECT_EQ(table.Bytes()[0], memory.memory[0]);
    EXPECT_FALSE(fs::exists(CacheFile()));

    memory.shortReplyAt.clear();
    memory.commands.clear();
    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device);
    EXPECT_EQ(memory.Reads(), 1024);
    EXPECT_EQ(ReadFile(CacheFile()), CachedPart());
}

TEST_F(CalTableLoad, ClosedLinkGivesANeutralImageThatIsNotCached) {
    ASSERT_TRUE(link.ResetLink(false));

    EXPECT_EQ(table.Load("", link, progress), CalLoadSource::DeviceIncomplete);

    EXPECT_TRUE(
        std::all_of(table.Bytes().begin(), table.Bytes().end(), [](auto b) { return b == 0x80; }));
    EXPECT_FALSE(fs::exists(CacheFile(".kvo")));
}

TEST_F(CalTableLoad, StoreStampsTheDateWritesTheDeviceAndTheCache) {
    ASSERT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device);
    std::fill_n(table.Bytes().begin() + 64, 48, 0xAA);
    table.Bytes()[2548] = 0x64;  // an adjusted tcxoOffset
    const std::string date = "Wed Jun 30 21:49:08 1993\n";

    EXPECT_TRUE(table.Store("TV000123", link, date));

    Bytes expectedDate(date.begin(), date.end());
    expectedDate.resize(48, 0);  // terminator, then zeros
    EXPECT_EQ(Bytes(table.Bytes().begin() + 64, table.Bytes().begin() + 112), expectedDate);
    EXPECT_EQ(table.CalDate(), date);
    EXPECT_TRUE(std::equal(table.Bytes().begin(), table.Bytes().end(), memory.memory.begin()));
    EXPECT_TRUE(std::equal(table.Bytes().begin(), table.Bytes().begin() + 3128,
                           ReadFile(CacheFile()).begin()));

    // Read back by a fresh table from the device alone.
    fs::remove(CacheFile());
    CalTable again(folder.Path());
    EXPECT_EQ(again.Load("TV000123", link, progress), CalLoadSource::Device);
    EXPECT_EQ(again.CalDate(), date);
    EXPECT_EQ(again.TcxoOffset(), table.TcxoOffset());
}

TEST_F(CalTableLoad, StoreReportsAFailedReopen) {
    driver.onWrite = [this, inner = driver.onWrite](UsbHandle h, const Bytes& frame) {
        inner(h, frame);
        if (test::UnSlip(frame) == Bytes{'E', 0xFF, 0x14, 0x25, 0x36}) {
            for (auto& d : driver.devices) {
                d.failOpens = -1;
            }
        }
    };

    EXPECT_FALSE(table.Store("TV000123", link, "Thu Jan  1 00:00:00 2026\n"));
    // The adjusted table is kept on this computer all the same.
    EXPECT_EQ(ReadFile(CacheFile()).size(), 3128u);
}

}  // namespace
}  // namespace tavlin
