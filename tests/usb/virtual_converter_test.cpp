#include <ftdi.h>
#include <gtest/gtest.h>
#include <libusb.h>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "device/ftdi_baud_request.h"
#include "sim/usb/converter_baud.h"
#include "sim/usb/virtual_usb_bus.h"
#include "support/scripted_usb_driver.h"

namespace tavlin::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr UsbHandle kBackendA = 1;  // the scripted driver's handles are list index + 1
constexpr UsbHandle kBackendB = 2;
constexpr int kPacket = 64;  // FT2232C/D

VirtualUsbBus& Bus() {
    return VirtualUsbBus::Instance();
}

// An FT2232C/D, opened and with interface A claimed through raw libusb calls.
class RawConverterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        backend.AddGenuinePair();
        ConverterSetup setup;
        setup.chip = ConverterChip::kFt2232C;
        setup.serialDriverBound = false;
        device = Bus().Plug(setup, backend);
        ASSERT_EQ(libusb_init(&context), 0);
        libusb_device** list = nullptr;
        ASSERT_EQ(libusb_get_device_list(context, &list), 1);
        ASSERT_EQ(libusb_open(list[0], &handle), 0);
        libusb_free_device_list(list, 1);
        ASSERT_EQ(libusb_claim_interface(handle, 0), 0);
    }
    void TearDown() override {
        libusb_close(handle);
        libusb_exit(context);
        Bus().UnplugAll();
    }
    int ReadIn(Bytes& got, int length, unsigned timeoutMs) {
        got.assign(length, 0);
        int transferred = -1;
        const int status =
            libusb_bulk_transfer(handle, 0x81, got.data(), length, &transferred, timeoutMs);
        got.resize(transferred);
        return status;
    }
    // The data of a transfer, once every packet's two modem status bytes are checked.
    static Bytes Payload(const Bytes& transfer) {
        Bytes data;
        for (std::size_t at = 0; at < transfer.size(); at += kPacket) {
            EXPECT_EQ(transfer[at], 0x01) << "packet at " << at;
            EXPECT_EQ(transfer[at + 1], 0x60) << "packet at " << at;
            const std::size_t end = std::min(transfer.size(), at + kPacket);
            data.insert(data.end(), transfer.begin() + at + 2, transfer.begin() + end);
        }
        return data;
    }

    test::ScriptedUsbDriver backend;
    int device = -1;
    libusb_context* context = nullptr;
    libusb_device_handle* handle = nullptr;
};

TEST_F(RawConverterTest, FullPacketsGoAtOnceTheRestWhenTheLatencyTimerExpires) {
    ASSERT_EQ(libusb_control_transfer(handle, 0x40, 9, 200, 1, nullptr, 0, 100), 0);
    Bytes sent(2 * (kPacket - 2) + 10);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<std::uint8_t>(i * 7);
    }
    backend.QueueReceive(kBackendA, sent);
    Bytes first, second, idle;
    // Two full packets fill the transfer long before the 200 ms timer.
    ASSERT_EQ(ReadIn(first, 2 * kPacket, 100), 0);
    ASSERT_EQ(first.size(), 2u * kPacket);
    // The 10 bytes left come in a short packet, which ends the transfer.
    ASSERT_EQ(ReadIn(second, 4 * kPacket, 1000), 0);
    EXPECT_EQ(second.size(), 12u);
    // Nothing to send: a status-only packet at the next expiry.
    ASSERT_EQ(ReadIn(idle, 4 * kPacket, 1000), 0);
    EXPECT_EQ(idle, (Bytes{0x01, 0x60}));
    Bytes data = Payload(first);
    const Bytes rest = Payload(second);
    data.insert(data.end(), rest.begin(), rest.end());
    EXPECT_EQ(data, sent);
    const InTransferCounts counts = Bus().InTransfers(device, 0);
    EXPECT_EQ(counts.completed, 3);
    EXPECT_EQ(counts.carryingData, 2);
    EXPECT_EQ(counts.dataBytes, sent.size());
}

TEST_F(RawConverterTest, TransfersEndOnOverflowTimeOutAndUnplug) {
    backend.QueueReceive(kBackendA, Bytes(kPacket - 2, 0x55));
    Bytes got;
    EXPECT_EQ(ReadIn(got, kPacket / 2, 1000), LIBUSB_ERROR_OVERFLOW) << "a full packet";
    Bus().HoldInPackets(device, 0, true);
    EXPECT_EQ(ReadIn(got, kPacket, 30), LIBUSB_ERROR_TIMEOUT);
    EXPECT_TRUE(got.empty());
    int endless = 0;
    std::thread reader([&] { endless = ReadIn(got, kPacket, 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Bus().UnplugAll();
    reader.join();
    EXPECT_EQ(endless, LIBUSB_ERROR_NO_DEVICE);
}

TEST(ConverterBaudTest, DecodesBothChipsAndTheAdaptersClassicRequests) {
    using C = ConverterChip;
    using U = UnnamedChannelBaud;
    struct Row {
        const char* name;
        C chip;
        U unnamed;
        std::uint16_t value, index;
        std::optional<ConverterBaud> expected;
    };
    const std::vector<Row> rows = {
        {"C/D 46667 on B", C::kFt2232C, U::kStalls, 0x8040, 0x0002, ConverterBaud{1, 46693}},
        {"C/D unnamed sets A", C::kFt2232C, U::kSetsChannelA, 0x8040, 0, ConverterBaud{0, 46693}},
        {"C/D unnamed stalls", C::kFt2232C, U::kStalls, 0x8040, 0x0000, std::nullopt},
        {"divisor 0", C::kFt2232C, U::kStalls, 0x0000, 0x0001, ConverterBaud{0, 3'000'000}},
        {"divisor 1", C::kFt2232C, U::kStalls, 0x0001, 0x0002, ConverterBaud{1, 2'000'000}},
        {"fraction 3/8 in the index", C::kFt2232C, U::kStalls, 0x0064, 0x0101,
         ConverterBaud{0, 29888}},
        {"H on 12 MHz", C::kFt2232H, U::kStalls, 0xC101, 0x0202, ConverterBaud{1, 46670}},
        {"H on 3 MHz", C::kFt2232H, U::kStalls, 0x0064, 0x0101, ConverterBaud{0, 29888}},
        {"H unnamed", C::kFt2232H, U::kSetsChannelA, 0xC101, 0x0200, std::nullopt},
    };
    for (const Row& row : rows) {
        const auto baud = DecodeBaudRequest(row.value, row.index, row.chip, row.unnamed);
        ASSERT_EQ(baud.has_value(), row.expected.has_value()) << row.name;
        if (baud) {
            EXPECT_EQ(baud->interfaceNumber, row.expected->interfaceNumber) << row.name;
            EXPECT_EQ(baud->rate, row.expected->rate) << row.name;
        }
    }
    for (const int rate : {300, 9600, 46667, 115200, 1'000'000, 2'000'000, 3'000'000}) {
        const auto request = FtdiBaudRequest::ForClassicChip(rate, 2);
        ASSERT_TRUE(request) << rate;
        const auto baud =
            DecodeBaudRequest(request->value, request->index, C::kFt2232C, U::kStalls);
        ASSERT_TRUE(baud) << rate;
        EXPECT_EQ(baud->interfaceNumber, 1) << rate;
        EXPECT_EQ(baud->rate, request->actualRate) << rate;
    }
}

TEST(LibftdiOnVirtualBusTest, OpensByBusAddressSetsTheRateAndWrites) {
    test::ScriptedUsbDriver backend;
    backend.AddGenuinePair();
    const ConverterSetup setup;  // an FT2232H held by the kernel's serial driver
    const int device = Bus().Plug(setup, backend);
    ftdi_context* ftdi = ftdi_new();
    ASSERT_EQ(ftdi_set_interface(ftdi, INTERFACE_B), 0);
    ASSERT_EQ(ftdi_usb_open_bus_addr(ftdi, setup.bus, setup.address), 0)
        << ftdi_get_error_string(ftdi);
    EXPECT_EQ(ftdi->type, TYPE_2232H);
    EXPECT_TRUE(Bus().SerialDriverBound(device, 0));
    EXPECT_FALSE(Bus().SerialDriverBound(device, 1));
    EXPECT_EQ(ftdi_set_baudrate(ftdi, 46667), 0);
    EXPECT_NEAR(Bus().ChannelBaud(device, 1), 46667, 46667 * 3 / 100);
    const Bytes frame = {0xC0, 0x01, 0x02, 0xC0};
    EXPECT_EQ(ftdi_write_data(ftdi, frame.data(), static_cast<int>(frame.size())), 4);
    EXPECT_EQ(backend.Writes(kBackendB), std::vector<Bytes>{frame});
    ftdi_usb_close(ftdi);
    ftdi_free(ftdi);
    Bus().UnplugAll();
}

}  // namespace
}  // namespace tavlin::sim
