#include "document/document_fixture.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

class StartupShutdownTest : public DocumentFixture {
  protected:
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& box : prompter.Boxes()) {
            texts.push_back(box.caption + "|" + box.text);
        }
        return texts;
    }
};

TEST_F(StartupShutdownTest, NoInstrumentEndsStartupWithTheClosingMessage) {
    AnalyzerDocument& d = Build();
    EXPECT_TRUE(d.CloseRequested());
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "ERROR 1-TAVLIN NOT FOUND|PLEASE CONNECT TAVLIN NOW\r\n then click OK",
                           "ERROR 1|TAVLIN NOT FOUND\r\nClosing application"}));
    EXPECT_EQ(calMemory.Reads(), 0) << "no preset traffic when the program closes";
}

TEST_F(StartupShutdownTest, HalfAnInstrumentRunsOnWithoutCachingAnEmptyTable) {
    usb.devices.push_back({test::ScriptedUsbDriver::Info("Tavlin A"), 0});
    usb.devices.push_back({test::ScriptedUsbDriver::Info("Tavlin A"), 0});
    AnalyzerDocument& d = Build();
    EXPECT_FALSE(d.CloseRequested());
    EXPECT_EQ(Texts(), std::vector<std::string>{"ERROR 1|Devices not found!"});
    EXPECT_EQ(d.Frequencies().startHz, 902e6) << "preset still runs";
    EXPECT_EQ(d.state.deviceSerial, "");
    EXPECT_FALSE(std::filesystem::exists(cacheDir / ".kvo"));
}

TEST_F(StartupShutdownTest, CloseStopsTheSweepThenClosesTheLinkWithoutReopening) {
    AnalyzerDocument& d = BuildWithInstrument();
    std::atomic<int> passes{0};
    d.SetSweepPass([&] {
        ++passes;
        clock.SleepMs(30);
    });
    d.OnContinuous();
    while (passes.load() < 2) {
        std::this_thread::yield();
    }
    usb.ClearCalls();
    d.CloseDocument();
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_FALSE(d.link.IsOpen());
    std::vector<std::string> resetCalls;
    for (const auto& call : usb.Calls()) {
        if (call.rfind("cycle", 0) == 0 || call.rfind("close", 0) == 0 ||
            call.rfind("open", 0) == 0) {
            resetCalls.push_back(call);
        }
    }
    EXPECT_EQ(resetCalls, (std::vector<std::string>{"cycle 1", "close 1", "close 2"}));
}

TEST_F(StartupShutdownTest, DestroyingTheDocumentJoinsARunningSweep) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.SetSweepPass([&] { clock.SleepMs(10); });
    d.OnContinuous();
    doc.reset();  // must not leave a thread behind that touches the freed document
    SUCCEED();
}

}  // namespace
}  // namespace tavlin
