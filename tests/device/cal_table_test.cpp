#include "device/cal_table.h"

#include <gtest/gtest.h>

#include <algorithm>
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
#include "support/test_directory.h"

namespace tavlin {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const Bytes kOpenForWriting{0xFF, 0x15, 0x26, 0x37};
const Bytes kErase{0xFF, 0x14, 0x25, 0x36};

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(CalTableFields, ReadTheirBytesAtTheMemoryOffsets) {
    CalTable table;
    auto& b = table.Bytes();
    for (std::size_t i = 0; i < b.size(); ++i) {
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    const auto word = [&](int at) { return b[at] | (b[at + 1] << 8); };
    EXPECT_EQ(table.BlankMark(), b[0]);
    EXPECT_EQ(table.PreampRolloff(14), b[0x70 + 14]);
    EXPECT_EQ(table.IfGain2_9(false), b[0x81]);
    EXPECT_EQ(table.IfGain2_9(true), b[0x82]);
    EXPECT_EQ(table.BroadbandPower(), b[0x83]);
    EXPECT_EQ(table.LowBandFlatness(2, 7), b[0x84 + 2 * 150 + 7]);
    EXPECT_EQ(table.HighBandFlatness(3, 425), b[0x2DC + 3 * 426 + 425]);
    EXPECT_EQ(table.IfFlatness10M7(51), b[0x984 + 51]);
    EXPECT_EQ(table.IfFlatness2M9(0), b[0x9B8]);
    EXPECT_EQ(table.LowGainStep(), word(0x9EC));
    EXPECT_EQ(table.HighGainStep(), word(0x9EE));
    EXPECT_EQ(table.IfClip(true), word(0x9F0));
    EXPECT_EQ(table.IfClip(false), word(0x9F2));
    EXPECT_EQ(table.TcxoOffset(), word(0x9F4));
    EXPECT_EQ(table.PreampLowBand(149), b[0x9F8 + 149]);
    EXPECT_EQ(table.PreampHighBand(425), b[0xA8E + 425]);
    // The last preamp entry is the last cached byte.
    EXPECT_EQ(0xA8E + 425 + 1, CalTable::kCachedBytes);

    // The date stops at its terminator or after 48 bytes.
    std::fill_n(b.begin() + 64, 48, 'x');
    EXPECT_EQ(table.CalDate(), std::string(48, 'x'));
    b[64 + 5] = 0;
    EXPECT_EQ(table.CalDate(), "xxxxx");
}

TEST(CalTableCacheName, KeepsOnlySafeCharactersOfTheSerial) {
    CalTable table("/cache");
    EXPECT_EQ(table.CacheFilePath("TV000123"), fs::path("/cache/TV000123.kvo"));
    EXPECT_EQ(table.CacheFilePath("../../x"), fs::path("/cache/x.kvo"));
    EXPECT_EQ(table.CacheFilePath("a-b_c/d\\e f\xC3\xA9"), fs::path("/cache/a-b_cdef.kvo"));
    EXPECT_EQ(table.CacheFilePath("/.."), fs::path("/cache/.kvo"));
}

// The link's calibration memory commands against a fake memory, and the
// table's load and store through them.
class CalMemoryTest : public ::testing::Test {
  protected:
    CalMemoryTest() : memory(driver, clock), link(driver, clock, prompter), table(folder) {
        driver.AddGenuinePair();
        memory.FillPattern();
    }
    void SetUp() override {
        ASSERT_TRUE(link.Open());
        driver.ClearCalls();
    }
    void TearDown() override { fs::remove_all(folder); }

    Bytes CachedPart() const { return Bytes(memory.memory.begin(), memory.memory.begin() + 3128); }

    fs::path folder = test::MakeTestDirectory("tavlin-cal");
    fs::path cacheFile = folder / "TV000123.kvo";
    test::ScriptedUsbDriver driver;
    test::FakeClock clock;
    test::RecordingPrompter prompter;
    test::RecordingProgressSink progress;
    test::FakeCalMemory memory;
    DeviceLink link;
    CalTable table;
};

// The memory is opened, erased, the link reset (port cycle, both channels
// closed, the wait, then opened again), opened once more, and written word by
// word in address order.
TEST_F(CalMemoryTest, WriteStoresEveryWordAfterTheErase) {
    std::array<std::uint8_t, kCalMemoryBytes> image{};
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 13 % 256);
    }
    // Words that would read as control forms, and one that must pass as is.
    const auto put = [&](int at, const Bytes& word) { std::copy_n(word.begin(), 4, &image[at]); };
    put(16, {0xFF, 0x01, 0x00, 0x00});
    put(32, kErase);
    put(48, {0xFF, 0x14, 0x25, 0x37});
    put(4092, kOpenForWriting);

    EXPECT_TRUE(link.WriteCalMemory(image.data()));

    const auto& cmds = memory.commands;  // no reads among them
    ASSERT_EQ(cmds.size(), 3u + 1024u);
    EXPECT_EQ(cmds[0].bytes, kOpenForWriting);
    EXPECT_EQ(cmds[1].bytes, kErase);
    EXPECT_EQ(cmds[2].bytes, kOpenForWriting);
    EXPECT_EQ(cmds[3 + 4].bytes, (Bytes{0xFE, 0x01, 0x00, 0x00}));
    EXPECT_EQ(cmds[3 + 8].bytes, (Bytes{0xFE, 0x14, 0x25, 0x36}));
    EXPECT_EQ(cmds[3 + 12].bytes, (Bytes{0xFF, 0x14, 0x25, 0x37}));
    EXPECT_EQ(cmds[3 + 1023].bytes, kOpenForWriting);
    EXPECT_GE(cmds[1].atMs - cmds[0].atMs, 200);         // open, then erase
    EXPECT_GE(cmds[2].atMs - cmds[1].atMs, 200 + 2500);  // erase, reset, reopen
    EXPECT_GE(cmds[3].atMs - cmds[2].atMs, 200);         // open, then the first word
    const auto calls = driver.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "cycle 1"), 2);
    const auto cycle = std::find(calls.begin(), calls.end(), "cycle 1");
    ASSERT_GE(calls.end() - cycle, 4);
    EXPECT_EQ(std::vector(cycle, cycle + 4),
              (std::vector<std::string>{"cycle 1", "close 1", "close 2", "count"}));

    // Only the first byte of the two control-like words differs in the device.
    // What the device makes of an opening form among the data is its own
    // business; everything before it is stored as sent.
    image[16] = image[32] = 0xFE;
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 4092, memory.memory.begin()));
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(CalMemoryTest, WriteStopsAtTheFirstRefusedWord) {
    long long failedAt = 0;
    driver.onWrite = [&, inner = driver.onWrite](UsbHandle h, const Bytes& frame) {
        inner(h, frame);
        if (memory.commands.size() == 3 + 10) {  // open, erase, open, ten words
            driver.failWrites = true;
            failedAt = clock.TotalSleptMs();
        }
    };
    std::array<std::uint8_t, kCalMemoryBytes> image{};
    EXPECT_FALSE(link.WriteCalMemory(image.data()));
    EXPECT_TRUE(link.commError);
    // The wait and the link reset, but no more: each further word would cost
    // a refused write and its 5 ms pause.
    EXPECT_LT(clock.TotalSleptMs() - failedAt, 200 + 2500 + 500);
}

// A cache file of the right size is taken without asking the device (the
// end-to-end start-up tests show it); any other size is read again.
TEST_F(CalMemoryTest, LoadTakesACacheFileOfTheRightSizeOnly) {
    for (const std::size_t size : {0, 3127, 3129, 4096}) {
        std::ofstream(cacheFile, std::ios::binary) << std::string(size, '\x11');
        memory.commands.clear();
        EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device) << size;
        EXPECT_EQ(memory.Reads(), 1024) << size;
        EXPECT_EQ(ReadFile(cacheFile), CachedPart()) << size;
    }
}

// A short reply leaves neutral bytes in its word (later words still line
// up); such a table is used but never cached, so the next load asks again.
TEST_F(CalMemoryTest, IncompleteReadIsUsedButNotCachedAndTheNextLoadAsksAgain) {
    memory.shortReplyAt = {2544};  // half of the word that holds both level references

    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::DeviceIncomplete);
    EXPECT_EQ(table.IfClip(true), memory.memory[2544] | (memory.memory[2545] << 8));
    EXPECT_EQ(table.IfClip(false), 0x8080);
    EXPECT_EQ(table.Bytes()[2548], memory.memory[2548]);
    // The bar is reset before the dialog shows, then moves with the reads.
    const auto events = progress.Events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(std::vector(events.begin(), events.begin() + 3),
              (std::vector<std::string>{"0", "show", "0"}));
    EXPECT_EQ(events.back(), "hide");
    EXPECT_FALSE(fs::exists(cacheFile));

    memory.shortReplyAt.clear();
    memory.commands.clear();
    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device);
    EXPECT_EQ(memory.Reads(), 1024);
    EXPECT_EQ(ReadFile(cacheFile), CachedPart());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    // A closed link gives a neutral image, not cached, and erases nothing.
    ASSERT_TRUE(link.ResetLink(false));
    memory.commands.clear();
    EXPECT_EQ(table.Load("", link, progress), CalLoadSource::DeviceIncomplete);
    EXPECT_TRUE(
        std::all_of(table.Bytes().begin(), table.Bytes().end(), [](auto b) { return b == 0x80; }));
    EXPECT_FALSE(fs::exists(folder / ".kvo"));
    EXPECT_FALSE(link.EraseCalMemory());
    EXPECT_TRUE(memory.commands.empty());
}

TEST_F(CalMemoryTest, StoreStampsTheDateWritesTheDeviceAndTheCache) {
    ASSERT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device);
    std::fill_n(table.Bytes().begin() + 64, 48, 0xAA);
    table.Bytes()[2548] = 0x64;  // an adjusted tcxoOffset
    const std::string date = "Wed Jun 30 21:49:08 1993\n";

    EXPECT_TRUE(table.Store("TV000123", link, date));

    Bytes expectedDate(date.begin(), date.end());
    expectedDate.resize(48, 0);  // terminator, then zeros
    EXPECT_EQ(Bytes(table.Bytes().begin() + 64, table.Bytes().begin() + 112), expectedDate);
    EXPECT_TRUE(std::equal(table.Bytes().begin(), table.Bytes().end(), memory.memory.begin()));
    EXPECT_EQ(ReadFile(cacheFile), Bytes(table.Bytes().begin(), table.Bytes().begin() + 3128));

    // Read back by a fresh table from the device alone.
    fs::remove(cacheFile);
    CalTable again(folder);
    EXPECT_EQ(again.Load("TV000123", link, progress), CalLoadSource::Device);
    EXPECT_EQ(again.CalDate(), date);
    EXPECT_EQ(again.TcxoOffset(), table.TcxoOffset());
}

// The instrument does not come back after the erase: no data word is sent,
// the link stays closed, and the adjusted table is kept on this computer.
TEST_F(CalMemoryTest, StoreReportsAFailedReopenAndKeepsTheCache) {
    driver.onWrite = [this, inner = driver.onWrite](UsbHandle h, const Bytes& frame) {
        inner(h, frame);
        if (test::UnSlip(frame) == Bytes{'E', 0xFF, 0x14, 0x25, 0x36}) {
            for (auto& d : driver.devices) {
                d.failOpens = -1;
            }
        }
    };

    EXPECT_FALSE(table.Store("TV000123", link, "Thu Jan  1 00:00:00 2026\n"));

    EXPECT_EQ(memory.commands.size(), 2u) << "open and erase only";
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(ReadFile(cacheFile).size(), 3128u);
}

}  // namespace
}  // namespace tavlin
