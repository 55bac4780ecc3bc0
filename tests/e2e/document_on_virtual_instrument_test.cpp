// The document on the virtual instrument: start-up, identity, calibration and
// the connection messages, with the unit's faults switched on.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "e2e/virtual_unit_fixture.h"

namespace tavlin {
namespace {

using sim::Scene;
using sim::SimFaults;
using sim::VirtualInstrument;

class DocumentOnVirtualInstrumentTest : public test::VirtualUnitTest {
  protected:
    DocumentOnVirtualInstrumentTest() { keepCalibrationCache = true; }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& box : prompter.Boxes()) {
            texts.push_back(box.caption + "|" + box.text);
        }
        return texts;
    }
};

TEST_F(DocumentOnVirtualInstrumentTest, StartsQuietlyAndReadsTheUnitsIdentityAndTable) {
    Scene scene = sim::DefaultScene();
    scene.serial = "TV004711";
    scene.firmware = "Tavlin 2.03";
    scene.tcxoPpb = -750;
    AnalyzerDocument& d = Start(scene);
    EXPECT_EQ(prompter.Count(), 0u);
    EXPECT_TRUE(d.link.IsOpen());
    EXPECT_EQ(d.state.deviceSerial, "TV004711");
    EXPECT_EQ(d.state.firmwareVersion, "Tavlin 2.03");
    EXPECT_TRUE(d.state.preampAvailable);
    EXPECT_EQ(static_cast<int>(d.calTable.TcxoOffset()) - 32768, -750);
    EXPECT_NEAR(d.state.timebaseCorrection, 1.0 - 750e-9, 1e-15);
    EXPECT_EQ(driver->MemoryReads(), 1024);
    EXPECT_EQ(d.calTable.Bytes(), unit->Memory()) << "the image is the unit's memory";
    EXPECT_EQ(std::filesystem::file_size(cacheDir / "TV004711.kvo"), 3128u);
}

TEST_F(DocumentOnVirtualInstrumentTest, SecondStartTakesTheTableFromTheCache) {
    Start(sim::DefaultScene());
    Start(sim::DefaultScene());
    EXPECT_EQ(driver->MemoryReads(), 0);
    EXPECT_EQ(doc->calTable.Bytes()[2548], unit->Memory()[2548]);
}

TEST_F(DocumentOnVirtualInstrumentTest, ConnectionMessagesForEachFault) {
    struct Case {
        const char* name;
        SimFaults faults;
        std::vector<std::string> texts;
        bool closes;
    };
    SimFaults noDevice;
    noDevice.listing = SimFaults::Listing::NoDevice;
    SimFaults onlyA;
    onlyA.listing = SimFaults::Listing::OnlyDataChannel;
    SimFaults foreign;
    foreign.listing = SimFaults::Listing::ForeignDescriptions;
    SimFaults port1;
    port1.dataOpenFailures = -1;
    SimFaults port2;
    port2.commandOpenFailures = 1;
    const Case cases[] = {
        {"no device",
         noDevice,
         {"ERROR 1-TAVLIN NOT FOUND|PLEASE CONNECT TAVLIN NOW\r\n then click OK",
          "ERROR 1|TAVLIN NOT FOUND\r\nClosing application"},
         true},
        {"only A",
         onlyA,
         {"ERROR 1-TAVLIN NOT FOUND|PLEASE CONNECT TAVLIN NOW\r\n then click OK",
          "ERROR 1|TAVLIN NOT FOUND\r\nClosing application"},
         true},
        {"foreign descriptions", foreign, {}, false},
        {"port 1", port1, {"ERROR 2|PORT1 Did not open"}, false},
        {"port 2", port2, {"ERROR 2|PORT2 Did not open"}, false},
    };
    for (const Case& c : cases) {
        AnalyzerDocument& d = Start(sim::DefaultScene(), c.faults);
        EXPECT_EQ(Texts(), c.texts) << c.name;
        EXPECT_EQ(d.CloseRequested(), c.closes) << c.name;
    }
}

TEST_F(DocumentOnVirtualInstrumentTest, InstrumentPluggedInDuringThePromptIsUsed) {
    unit = std::make_unique<VirtualInstrument>(clock, sim::DefaultScene());
    unit->Unplug();
    prompter.OnShow([this] { unit->PlugIn(); });
    doc = std::make_unique<AnalyzerDocument>(DocumentPorts{*unit, clock, prompter, views, progress},
                                             cacheDir);
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "ERROR 1-TAVLIN NOT FOUND|PLEASE CONNECT TAVLIN NOW\r\n then click OK"});
    EXPECT_TRUE(doc->link.IsOpen());
    EXPECT_EQ(doc->state.deviceSerial, "TV000123");
}

TEST_F(DocumentOnVirtualInstrumentTest, CaptureFaultsGiveTheirResultCodes) {
    AnalyzerDocument& d = Start(sim::DefaultScene());
    std::vector<std::int32_t> first(4096), second(4096);
    EXPECT_EQ(d.link.ReadSweepSamples(first.data(), second.data(), 4096), kLinkOk);
    SimFaults shortOne;
    shortOne.shortCaptures = 1;
    unit->SetFaults(shortOne);
    EXPECT_EQ(d.link.ReadSweepSamples(first.data(), second.data(), 4096), kLinkWrongAmount);
    SimFaults header;
    header.wrongHeaders = 1;
    unit->SetFaults(header);
    EXPECT_EQ(d.link.ReadSweepSamples(first.data(), second.data(), 4096), kLinkBadHeader);
    unit->SetFaults({});
    EXPECT_EQ(d.link.ReadSweepSamples(first.data(), second.data(), 4096), kLinkOk)
        << "the link recovers after a purge";
    SimFaults writes;
    writes.failedWrites = 1;
    unit->SetFaults(writes);
    EXPECT_EQ(d.link.SetPreamp(false), kLinkWriteFailed);
    EXPECT_TRUE(d.link.commError);
}

TEST_F(DocumentOnVirtualInstrumentTest, UnitGoneAtPresetClosesTheProgramInOrder) {
    AnalyzerDocument& d = Start(sim::DefaultScene());
    int closeRequests = 0;
    d.SetCloseHandler([&] { ++closeRequests; });
    unit->Unplug();
    d.OnPreset();
    EXPECT_EQ(closeRequests, 1);
    EXPECT_TRUE(d.CloseRequested());
    d.CloseDocument();
}

}  // namespace
}  // namespace tavlin
