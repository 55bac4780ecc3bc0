#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

using test::FakeCalMemory;
using Bytes = std::vector<std::uint8_t>;

const Bytes kOpenForWriting{0xFF, 0x15, 0x26, 0x37};
const Bytes kErase{0xFF, 0x14, 0x25, 0x36};

class CalMemoryTest : public ::testing::Test {
  protected:
    CalMemoryTest() : memory(driver, clock), link(driver, clock, prompter) {
        driver.AddGenuinePair();
    }
    void SetUp() override { ASSERT_TRUE(link.Open()); }

    // The "E" commands that are not reads, in order.
    std::vector<Bytes> ControlAndDataWords() const {
        std::vector<Bytes> words;
        for (const auto& c : memory.commands) {
            if (!(c.bytes[0] == 0xFF && c.bytes[1] == 0x01)) {
                words.push_back(c.bytes);
            }
        }
        return words;
    }

    test::ScriptedUsbDriver driver;
    test::FakeClock clock;
    test::RecordingPrompter prompter;
    test::RecordingProgressSink progress;
    FakeCalMemory memory;
    DeviceLink link;
};

TEST_F(CalMemoryTest, ReadsEveryWordInAddressOrderWithProgress) {
    memory.FillPattern();
    std::array<std::uint8_t, kCalMemoryBytes> image{};

    EXPECT_TRUE(link.ReadCalMemory(image.data(), progress));

    EXPECT_EQ(image, memory.memory);
    ASSERT_EQ(memory.commands.size(), 1024u);
    EXPECT_EQ(memory.commands[0].bytes, (Bytes{0xFF, 0x01, 0x00, 0x00}));
    EXPECT_EQ(memory.commands[1].bytes, (Bytes{0xFF, 0x01, 0x04, 0x00}));
    EXPECT_EQ(memory.commands[1023].bytes, (Bytes{0xFF, 0x01, 0xFC, 0x0F}));

    // The bar is reset before the dialog shows, then moves at addresses that
    // are multiples of 41 and of 4 (0, 164, ... 3936) to a / 41.
    std::vector<std::string> expected{"0", "show"};
    for (int a = 0; a < kCalMemoryBytes; a += 4) {
        if (a % 41 == 0) {
            expected.push_back(std::to_string(a / 41));
        }
    }
    expected.push_back("hide");
    EXPECT_EQ(progress.Events(), expected);
    EXPECT_EQ(expected[expected.size() - 2], "96");
}

TEST_F(CalMemoryTest, ShortReplyKeepsNeutralBytesAndReportsIncomplete) {
    memory.FillPattern();
    memory.shortReplyAt = {400};
    std::array<std::uint8_t, kCalMemoryBytes> image{};

    EXPECT_FALSE(link.ReadCalMemory(image.data(), progress));

    EXPECT_EQ(image[400], memory.memory[400]);
    EXPECT_EQ(image[401], memory.memory[401]);
    EXPECT_EQ(image[402], 0x80);
    EXPECT_EQ(image[403], 0x80);
    EXPECT_EQ(image[404], memory.memory[404]);  // later words still line up
    EXPECT_EQ(progress.Events().back(), "hide");
}

TEST_F(CalMemoryTest, EraseOpensErasesWaitsAndReopensTheLink) {
    memory.FillPattern();
    driver.ClearCalls();

    EXPECT_TRUE(link.EraseCalMemory());

    ASSERT_EQ(memory.commands.size(), 2u);
    EXPECT_EQ(memory.commands[0].bytes, kOpenForWriting);
    EXPECT_EQ(memory.commands[1].bytes, kErase);
    EXPECT_GE(memory.commands[1].atMs - memory.commands[0].atMs, 200);
    EXPECT_TRUE(
        std::all_of(memory.memory.begin(), memory.memory.end(), [](auto b) { return b == 0xFF; }));
    // After the erase: port cycle, both channels closed, then opened again.
    const auto calls = driver.Calls();
    const auto cycle = std::find(calls.begin(), calls.end(), "cycle 1");
    ASSERT_NE(cycle, calls.end());
    EXPECT_NE(std::find(cycle, calls.end(), "open 0"), calls.end());
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(CalMemoryTest, WriteStoresEveryWordAfterTheErase) {
    std::array<std::uint8_t, kCalMemoryBytes> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<std::uint8_t>(i * 13 % 256);
    }
    // Words that would read as control forms, and one that must pass as is.
    const std::array<std::uint8_t, 4> readForm{0xFF, 0x01, 0x00, 0x00};
    const std::array<std::uint8_t, 4> eraseForm{0xFF, 0x14, 0x25, 0x36};
    const std::array<std::uint8_t, 4> openForm{0xFF, 0x15, 0x26, 0x37};
    const std::array<std::uint8_t, 4> nearErase{0xFF, 0x14, 0x25, 0x37};
    std::copy(readForm.begin(), readForm.end(), table.begin() + 16);
    std::copy(eraseForm.begin(), eraseForm.end(), table.begin() + 32);
    std::copy(nearErase.begin(), nearErase.end(), table.begin() + 48);
    std::copy(openForm.begin(), openForm.end(), table.begin() + 4092);
    driver.ClearCalls();

    EXPECT_TRUE(link.WriteCalMemory(table.data()));

    const auto words = ControlAndDataWords();
    ASSERT_EQ(words.size(), 3u + 1024u);
    EXPECT_EQ(words[0], kOpenForWriting);
    EXPECT_EQ(words[1], kErase);
    EXPECT_EQ(words[2], kOpenForWriting);
    EXPECT_EQ(words[3 + 4], (Bytes{0xFE, 0x01, 0x00, 0x00}));
    EXPECT_EQ(words[3 + 8], (Bytes{0xFE, 0x14, 0x25, 0x36}));
    EXPECT_EQ(words[3 + 12], (Bytes{0xFF, 0x14, 0x25, 0x37}));
    EXPECT_EQ(words[3 + 1023], (Bytes{0xFF, 0x15, 0x26, 0x37}));
    const auto& cmds = memory.commands;
    EXPECT_GE(cmds[2].atMs - cmds[1].atMs, 200 + 2500);  // erase, reset, reopen
    EXPECT_GE(cmds[3].atMs - cmds[2].atMs, 200);         // open, then the first word
    const auto calls = driver.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "cycle 1"), 2);

    // Only the first byte of the two control-like words differs in the device.
    auto expected = table;
    expected[16] = 0xFE;
    expected[32] = 0xFE;
    // What the device makes of an opening form among the data is its own
    // business; everything before it is stored as sent.
    EXPECT_EQ(Bytes(memory.memory.begin(), memory.memory.begin() + 4092),
              Bytes(expected.begin(), expected.begin() + 4092));
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(CalMemoryTest, WriteFailsWhenTheReopenAfterTheEraseFails) {
    driver.onWrite = [this, inner = driver.onWrite](UsbHandle h, const Bytes& frame) {
        inner(h, frame);
        if (test::UnSlip(frame) == Bytes{'E', 0xFF, 0x14, 0x25, 0x36}) {
            for (auto& d : driver.devices) {
                d.failOpens = -1;  // the instrument does not come back
            }
        }
    };
    std::array<std::uint8_t, kCalMemoryBytes> table{};

    EXPECT_FALSE(link.WriteCalMemory(table.data()));

    EXPECT_EQ(ControlAndDataWords().size(), 2u);  // no data word was sent
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(CalMemoryTest, WriteStopsAtTheFirstRefusedWord) {
    int dataWords = 0;
    driver.onWrite = [&, inner = driver.onWrite](UsbHandle h, const Bytes& frame) {
        inner(h, frame);
        const Bytes command = test::UnSlip(frame);
        if (memory.commands.size() > 3 && command.size() == 5 && command[0] == 'E' &&
            ++dataWords == 10) {
            driver.failWrites = true;
        }
    };
    std::array<std::uint8_t, kCalMemoryBytes> table{};

    EXPECT_FALSE(link.WriteCalMemory(table.data()));

    EXPECT_EQ(dataWords, 10);  // nothing after the refused eleventh word
    EXPECT_TRUE(link.commError);
}

TEST_F(CalMemoryTest, EraseOnAClosedLinkReportsFailure) {
    ASSERT_TRUE(link.ResetLink(false));

    EXPECT_FALSE(link.EraseCalMemory());
    EXPECT_TRUE(memory.commands.empty());
}

}  // namespace
}  // namespace tavlin
