// Long runs and rough handling of the virtual unit, in virtual time: many
// sweeps of every kind with memory and threads steady, the cable pulled in
// the middle of each kind and of the calibration read at start-up, and a
// unit that answers nothing but noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "e2e/virtual_unit_fixture.h"
#include "ports/progress_sink.h"
#include "ports/view_notifier.h"

namespace tavlin {
namespace {

// Under AddressSanitizer freed memory waits in quarantine, so the resident
// size grows whatever the program does; there the leak checker at the exit
// speaks for memory instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeShowsLeaks = false;
#else
constexpr bool kResidentSizeShowsLeaks = true;
#endif

struct SweepKind {
    const char* name;
    double startHz;
    double stopHz;  // equal to start: zero span
    int zeroSpanFm;
};

// One of each kind, on the default scene's emitters.
constexpr SweepKind kKinds[] = {
    {"FFT", 914.9e6, 915.1e6, 0},
    {"narrow FFT", 915e6 - 50.0, 915e6 + 50.0, 0},
    {"step", 900e6, 930e6, 0},
    {"wide", 0.0, 4.4e9, 0},
    {"AM zero span", 919.25e6, 919.25e6, 0},
    {"FM zero span", 924.6e6, 924.6e6, 1},
};

// A figure of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKb(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::atol(line.c_str() + key.size() + 1);
        }
    }
    return -1;
}

int ThreadCount() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<int>(std::distance(tasks, std::filesystem::directory_iterator()));
}

class SoakTest : public test::VirtualUnitTest {
  protected:
    ~SoakTest() override { doc.reset(); }  // before the quiet ports below go
    void Tune(const SweepKind& kind) {
        doc->SetFrequencies(kind.startHz, kind.stopHz);
        Edit([&](InstrumentState& s) {
            s.zeroSpanFm = kind.zeroSpanFm;
            s.sweepTimeSec = 0.01;
        });
        doc->ApplyLevelPlan();
    }
    // A single sweep on the sweep thread, as the SINGLE key starts it.
    void SweepOnItsThread() {
        doc->OnSingle();
        while (doc->SweepRunning()) {
            clock.SleepMs(5);
        }
    }
    // The cable comes out after `commands` more command frames and goes back
    // in `replugMs` later.
    void UnplugAfter(int commands, int replugMs) {
        sim::SimFaults faults = unit->Faults();
        faults.unplugAfterCommands = CommandsSent() + commands;
        faults.replugAfterMs = replugMs;
        unit->SetFaults(faults);
    }
    // A document on the unit itself, with views and a progress window that
    // keep nothing: the fixture's recorders would grow with every sweep and
    // hide what the program itself holds on to.
    void StartUnwatched() {
        doc.reset();
        unit = std::make_unique<sim::VirtualInstrument>(clock, sim::DefaultScene());
        doc = std::make_unique<AnalyzerDocument>(
            DocumentPorts{*unit, clock, prompter, quietViews, quietProgress}, cacheDir);
    }
    NullViewNotifier quietViews;
    NullProgressSink quietProgress;

    int CommandsSent() const {
        return driver->Count([](const auto&) { return true; });
    }
};

// TAVLIN_SOAK_SWEEPS asks for a long run (scripts/soak.sh); the suite's own
// run is short. After a first round of every kind, which puts in place what
// each keeps, resident memory stays within a few MiB and no thread is left
// behind by the sweep thread's starts and ends.
TEST_F(SoakTest, ManySweepsOfEveryKindKeepMemoryAndThreadsSteady) {
    const char* asked = std::getenv("TAVLIN_SOAK_SWEEPS");
    const long sweeps = asked != nullptr ? std::atol(asked) : 36;
    StartUnwatched();
    for (const SweepKind& kind : kKinds) {
        Tune(kind);
        SweepOnItsThread();
    }
    const long rssStart = StatusKb("VmRSS");
    const long peakStart = StatusKb("VmHWM");
    const int threadsStart = ThreadCount();
    const auto began = std::chrono::steady_clock::now();
    for (long i = 0; i < sweeps; ++i) {
        Tune(kKinds[i % std::size(kKinds)]);
        if (i % 7 == 0) {
            SweepOnItsThread();
        } else {
            doc->PerformSweep();
        }
        if ((i + 1) % 2000 == 0) {
            std::printf("soak: %ld sweeps, resident %ld kB, threads %d\n", i + 1, StatusKb("VmRSS"),
                        ThreadCount());
            std::fflush(stdout);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const long rssEnd = StatusKb("VmRSS");
    const long peakEnd = StatusKb("VmHWM");
    const int threadsEnd = ThreadCount();
    std::printf(
        "soak: %ld sweeps in %.1f s; peak memory %ld kB at start, %ld kB at end; "
        "resident %ld kB at start, %ld kB at end; threads %d at start, %d at end\n",
        sweeps, seconds, peakStart, peakEnd, rssStart, rssEnd, threadsStart, threadsEnd);
    EXPECT_EQ(Boxes(), "");
    EXPECT_EQ(threadsEnd, threadsStart);
    if (kResidentSizeShowsLeaks) {
        EXPECT_LT(rssEnd - rssStart, 8 * 1024) << "kB";
    }
}

constexpr const char* kErrorSix =
    "USB ERROR 6- RECOMMEND USB REBOOT\r\nDO YOU WISH TO REBOOT THE TAVLIN?";

// The cable pulled in the middle of each kind, and back a second later: the
// sweep ends (no hang), ERROR 6 is asked after it, and its Yes resets the
// link, after which the sweep shows the emitters as before.
TEST_F(SoakTest, UnplugInTheMiddleOfEachKindIsRecoveredByTheResetOfErrorSix) {
    for (const SweepKind& kind : kKinds) {
        Start(sim::DefaultScene());
        Tune(kind);
        SweepOnItsThread();
        const auto clean = Rows();
        prompter.Clear();
        UnplugAfter(1, 1000);
        prompter.QueueAnswer(true);
        const auto began = std::chrono::steady_clock::now();
        SweepOnItsThread();
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(20)) << kind.name;
        EXPECT_EQ(BoxCount(kErrorSix), 1) << kind.name << ": " << Boxes();
        EXPECT_TRUE(doc->InstrumentConnected()) << kind.name;

        prompter.Clear();
        doc->ApplyLevelPlan();
        SweepOnItsThread();
        EXPECT_EQ(Boxes(), "") << kind.name;
        EXPECT_NEAR(MinRow(), *std::ranges::min_element(clean), 5.0) << kind.name;
    }
}

// A unit whose both channels answer random bytes: every kind's sweep ends
// without crashing or hanging, and what is drawn is a number.
class NoiseAnsweringDriver final : public test::ForwardingUsbDriver {
  public:
    using ForwardingUsbDriver::ForwardingUsbDriver;
    int Read(UsbHandle, std::uint8_t* data, std::size_t count, std::size_t& got) override {
        std::lock_guard lock(mutex_);
        got = count - (random_() % 4 == 0 ? random_() % (count + 1) : 0);
        for (std::size_t i = 0; i < got; ++i) {
            data[i] = static_cast<std::uint8_t>(random_());
        }
        return kUsbOk;
    }
    int QueueStatus(UsbHandle, std::size_t& waiting) override {
        std::lock_guard lock(mutex_);
        waiting = random_() % 70000;
        return kUsbOk;
    }

  private:
    std::mutex mutex_;
    std::mt19937 random_{15};
};

TEST_F(SoakTest, UnitAnsweringNoiseNeverCrashesOrHangs) {
    unit = std::make_unique<sim::VirtualInstrument>(clock, sim::DefaultScene());
    NoiseAnsweringDriver noise(*unit);
    doc = std::make_unique<AnalyzerDocument>(DocumentPorts{noise, clock, prompter, views, progress},
                                             cacheDir);
    for (const SweepKind& kind : kKinds) {
        const auto began = std::chrono::steady_clock::now();
        doc->SetFrequencies(kind.startHz, kind.stopHz);
        Edit([&](InstrumentState& s) { s.zeroSpanFm = kind.zeroSpanFm; });
        Sweep();
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(20)) << kind.name;
        const auto rows = Rows();
        EXPECT_TRUE(std::ranges::all_of(rows, [](auto row) {
            return std::isfinite(static_cast<double>(row));
        })) << kind.name;
    }
    doc.reset();
}

}  // namespace
}  // namespace tavlin
