// What the sweep thread asks of the GUI thread: message boxes it waits for,
// and progress it does not wait for.
#include <gtest/gtest.h>

#include <QDialog>
#include <QTest>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "app/qt_progress_dialog.h"
#include "app/qt_prompter.h"
#include "gui/gui_fixtures.h"

namespace tavlin::test {
namespace {

using namespace std::chrono_literals;

void WaitUntilPending(QtPrompter& prompter) {
    while (prompter.PendingCount() == 0) {
        std::this_thread::sleep_for(1ms);
    }
}

// A box asked for on the GUI thread shows at once; one asked for on another
// thread waits for the GUI thread to show it and to be answered.
TEST(QtPrompterTest, BoxesShowOnTheGuiThreadAndAnswerTheirCaller) {
    QtPrompter prompter;
    ModalAnswerer answerer;
    EXPECT_TRUE(prompter.AskYesNo("ERROR 6 - COMMUNICATIONS ERROR\r\nReset USB?", "ERROR 6"));
    auto asked = std::async(std::launch::async, [&] {
        return prompter.AskYesNo("Error 5 - USB Data Not Received", "ERROR--TRY AGAIN");
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return asked.wait_for(0s) == std::future_status::ready; }));
    EXPECT_TRUE(asked.get());
    EXPECT_EQ(answerer.boxes, QStringList({"ERROR 6: ERROR 6 - COMMUNICATIONS ERROR\nReset USB?",
                                           "ERROR--TRY AGAIN: Error 5 - USB Data Not Received"}));
}

TEST(QtPrompterTest, ShutDownReleasesAWaitingCallerWithTheDefaultAnswer) {
    QtPrompter prompter;
    auto asked = std::async(std::launch::async, [&] { return prompter.AskYesNo("Reset?", "E"); });
    // No event loop runs here, so the box cannot be shown: only shutdown ends the wait.
    WaitUntilPending(prompter);
    prompter.ShutDown();
    EXPECT_FALSE(asked.get());
    // Later boxes are not shown at all.
    EXPECT_EQ(prompter.Show("late", "LATE", PromptButtons::Ok), PromptAnswer::Ok);
}

// The trap of the pause handshake: the GUI thread waits for the sweep thread
// to finish its pass while the pass waits for the GUI thread to show a box.
TEST(QtPrompterTest, PauseWhileTheSweepThreadWaitsForABoxCompletes) {
    QtPrompter prompter;
    GuiDocument fixture(prompter);
    AnalyzerDocument& doc = fixture.Doc();
    doc.SetWaitHook(prompter.WaitHook());
    ModalAnswerer answerer;

    std::atomic<int> passes{0};
    std::atomic<bool> answeredYes{false};
    doc.SetSweepPass([&] {
        if (passes++ == 0) {
            answeredYes = doc.GetPrompter().AskYesNo("Reset USB?", "ERROR 6");
        } else {
            std::this_thread::sleep_for(1ms);
        }
    });
    doc.SetAfterPass([] {});
    doc.OnContinuous();
    WaitUntilPending(prompter);

    // Should the two threads wait on each other, this releases them after a while.
    std::promise<void> paused;
    auto deadlocked = std::async(std::launch::async, [&prompter, done = paused.get_future()] {
        const bool stuck = done.wait_for(10s) != std::future_status::ready;
        if (stuck) {
            prompter.ShutDown();
        }
        return stuck;
    });
    doc.PauseSweep();
    paused.set_value();
    EXPECT_FALSE(deadlocked.get()) << "the GUI thread and the sweep thread waited on each other";
    EXPECT_FALSE(doc.SweepRunning());
    EXPECT_TRUE(answeredYes);
    EXPECT_EQ(answerer.boxes, QStringList({"ERROR 6: Reset USB?"}));
    doc.CloseDocument();
}

// The calibration read of a preset runs on the GUI thread itself: there the
// calls act at once, as nothing else would deliver them until it is done.
// From the sweep thread they are queued: they return at once, even while the
// GUI thread is busy, and take effect when it gets to them.
TEST(QtProgressDialogTest, ActsAtOnceOnTheGuiThreadAndIsQueuedFromAnother) {
    QtProgressDialog progress;
    progress.Show();
    EXPECT_TRUE(progress.Dialog()->isVisible());
    progress.SetPosition(150);
    EXPECT_EQ(progress.Position(), 100);
    progress.Hide();

    std::thread([&] {
        progress.Show();
        progress.SetPosition(40);
    }).join();
    EXPECT_FALSE(progress.Dialog()->isVisible());  // the GUI thread has not looked yet
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress.Position() == 40; }, 2000));
    EXPECT_TRUE(progress.Dialog()->isVisible());
    std::thread([&] { progress.Hide(); }).join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !progress.Dialog()->isVisible(); }, 2000));
}

}  // namespace
}  // namespace tavlin::test
