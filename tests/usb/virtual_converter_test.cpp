#include <ftdi.h>
#include <gtest/gtest.h>
#include <libusb.h>

#include <algorithm>
#include <numeric>
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

VirtualUsbBus& bus = VirtualUsbBus::Instance();

// An FT2232C/D, opened and with interface A claimed through raw libusb calls.
class RawConverterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        backend.AddGenuinePair();
        ConverterSetup setup;
        setup.chip = ConverterChip::kFt2232C;
        setup.serialDriverBound = false;
        device = bus.Plug(setup, backend);
        libusb_device** list = nullptr;
        ASSERT_EQ(libusb_get_device_list(nullptr, &list), 1);
        ASSERT_EQ(libusb_open(list[0], &handle), 0);
        libusb_free_device_list(list, 1);
        ASSERT_EQ(libusb_claim_interface(handle, 0), 0);
    }
    void TearDown() override {
        libusb_close(handle);
        bus.UnplugAll();
    }
    // One bulk-IN transfer on A. Every packet's modem status bytes are
    // checked; the data goes to `received`.
    int ReadIn(int length, unsigned timeoutMs, int& transferred) {
        Bytes buffer(length);
        const int status =
            libusb_bulk_transfer(handle, 0x81, buffer.data(), length, &transferred, timeoutMs);
        for (int at = 0; at < transferred; at += kPacket) {
            EXPECT_EQ(buffer[at] << 8 | buffer[at + 1], 0x0160) << "packet at " << at;
            const int end = std::min(transferred, at + kPacket);
            received.insert(received.end(), buffer.begin() + at + 2, buffer.begin() + end);
        }
        return status;
    }

    test::ScriptedUsbDriver backend;
    int device = -1;
    libusb_device_handle* handle = nullptr;
    Bytes received;
};

TEST_F(RawConverterTest, FullPacketsGoAtOnceTheRestWhenTheLatencyTimerExpires) {
    ASSERT_EQ(libusb_control_transfer(handle, 0x40, 9, 200, 1, nullptr, 0, 100), 0);
    Bytes sent(2 * (kPacket - 2) + 10);
    std::iota(sent.begin(), sent.end(), 0);
    backend.QueueReceive(kBackendA, sent);
    int transferred = 0;
    // Two full packets fill the transfer long before the 200 ms timer expires.
    EXPECT_EQ(ReadIn(2 * kPacket, 100, transferred), 0);
    EXPECT_EQ(transferred, 2 * kPacket);
    // The 10 bytes left come in a short packet, which ends the transfer; with
    // nothing left, a status-only packet.
    EXPECT_EQ(ReadIn(4 * kPacket, 1000, transferred), 0);
    EXPECT_EQ(transferred, 12);
    EXPECT_EQ(ReadIn(4 * kPacket, 1000, transferred), 0);
    EXPECT_EQ(transferred, 2);
    EXPECT_EQ(received, sent);
    const InTransferCounts counts = bus.InTransfers(device, 0);
    EXPECT_EQ(counts.completed, 3);
    EXPECT_EQ(counts.carryingData, 2);
    EXPECT_EQ(counts.dataBytes, sent.size());
}

TEST_F(RawConverterTest, TransfersEndOnOverflowTimeOutAndUnplug) {
    backend.QueueReceive(kBackendA, Bytes(kPacket - 2, 0x55));
    int transferred = 0;
    EXPECT_EQ(ReadIn(kPacket / 2, 1000, transferred), LIBUSB_ERROR_OVERFLOW) << "a full packet";
    bus.HoldInPackets(device, 0, true);
    EXPECT_EQ(ReadIn(kPacket, 30, transferred), LIBUSB_ERROR_TIMEOUT);
    EXPECT_EQ(transferred, 0);
    // A reader without a time-out sits on A while B and the control pipe are used.
    int endless = 0;
    std::thread reader([&] {
        int got = 0;
        endless = ReadIn(kPacket, 0, got);
    });
    EXPECT_EQ(libusb_claim_interface(handle, 1), 0);
    unsigned char frame[] = {0xC0, 0x01, 0xC0};
    EXPECT_EQ(libusb_bulk_transfer(handle, 0x04, frame, 3, &transferred, 100), 0);
    EXPECT_EQ(libusb_control_transfer(handle, 0x40, 0, 2, 1, nullptr, 0, 100), 0);
    EXPECT_EQ(backend.Writes(kBackendB), (std::vector<Bytes>{{0xC0, 0x01, 0xC0}}));
    bus.UnplugAll();
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
        int interfaceNumber;  // -1: the chip stalls the request
        int rate;
    };
    const std::vector<Row> rows = {
        {"C/D 46667 on B", C::kFt2232C, U::kStalls, 0x8040, 0x0002, 1, 46693},
        {"C/D unnamed sets A", C::kFt2232C, U::kSetsChannelA, 0x8040, 0x0000, 0, 46693},
        {"C/D unnamed stalls", C::kFt2232C, U::kStalls, 0x8040, 0x0000, -1, 0},
        {"divisor 0", C::kFt2232C, U::kStalls, 0x0000, 0x0001, 0, 3'000'000},
        {"divisor 1", C::kFt2232C, U::kStalls, 0x0001, 0x0002, 1, 2'000'000},
        {"fraction 3/8 in the index", C::kFt2232C, U::kStalls, 0x0064, 0x0101, 0, 29888},
        {"H on 12 MHz", C::kFt2232H, U::kStalls, 0xC101, 0x0202, 1, 46670},
        {"H on 3 MHz", C::kFt2232H, U::kStalls, 0x0064, 0x0101, 0, 29888},
        {"H unnamed", C::kFt2232H, U::kSetsChannelA, 0xC101, 0x0200, -1, 0},
    };
    for (const Row& row : rows) {
        const auto baud = DecodeBaudRequest(row.value, row.index, row.chip, row.unnamed);
        EXPECT_EQ(baud ? baud->interfaceNumber : -1, row.interfaceNumber) << row.name;
        EXPECT_EQ(baud ? baud->rate : 0, row.rate) << row.name;
    }
    // What the adapter sends to a C/D itself.
    for (const int rate : {300, 9600, 46667, 115200, 1'000'000, 2'000'000, 3'000'000}) {
        const auto request = FtdiBaudRequest::ForClassicChip(rate, 2);
        ASSERT_TRUE(request) << rate;
        const auto baud =
            DecodeBaudRequest(request->value, request->index, C::kFt2232C, U::kStalls);
        EXPECT_EQ(baud ? baud->interfaceNumber : -1, 1) << rate;
        EXPECT_EQ(baud ? baud->rate : 0, request->actualRate) << rate;
    }
}

TEST(LibftdiOnVirtualBusTest, OpensByBusAddressSetsTheRateAndWrites) {
    test::ScriptedUsbDriver backend;
    backend.AddGenuinePair();
    const ConverterSetup setup;  // an FT2232H held by the kernel's serial driver
    const int device = bus.Plug(setup, backend);
    ftdi_context* ftdi = ftdi_new();
    ASSERT_EQ(ftdi_set_interface(ftdi, INTERFACE_B), 0);
    ASSERT_EQ(ftdi_usb_open_bus_addr(ftdi, setup.bus, setup.address), 0)
        << ftdi_get_error_string(ftdi);
    EXPECT_EQ(ftdi->type, TYPE_2232H);
    EXPECT_TRUE(bus.SerialDriverBound(device, 0));
    EXPECT_FALSE(bus.SerialDriverBound(device, 1));
    EXPECT_EQ(ftdi_set_baudrate(ftdi, 46667), 0);
    EXPECT_NEAR(bus.ChannelBaud(device, 1), 46667, 46667 * 3 / 100);
    const Bytes frame = {0xC0, 0x01, 0x02, 0xC0};
    EXPECT_EQ(ftdi_write_data(ftdi, frame.data(), static_cast<int>(frame.size())), 4);
    EXPECT_EQ(backend.Writes(kBackendB), std::vector<Bytes>{frame});
    ftdi_usb_close(ftdi);
    ftdi_free(ftdi);
    bus.UnplugAll();
}

}  // namespace
}  // namespace tavlin::sim
