#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/qt_prompter.h"
#include "gui/gui_document.h"
#include "gui/modal_answerer.h"

namespace tavlin::test {
namespace {

using namespace std::chrono_literals;

// Releases every waiting caller after a while, so a deadlock fails the test
// instead of hanging the run.
class Watchdog {
  public:
    Watchdog(QtPrompter& prompter, std::chrono::milliseconds limit)
        : thread_([this, &prompter, limit] {
              std::unique_lock lock(mutex_);
              if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
                  fired_ = true;
                  prompter.ShutDown();
              }
          }) {}
    ~Watchdog() {
        Stop();
        thread_.join();
    }
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
    }
    bool Fired() const { return fired_; }

  private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

TEST(QtPrompterTest, GuiThreadBoxShowsTheTextAndCaptionAndReturnsTheButton) {
    QtPrompter prompter;
    ModalAnswerer answerer;
    answerer.Press(QMessageBox::Yes);
    EXPECT_TRUE(prompter.AskYesNo("ERROR 6 - COMMUNICATIONS ERROR\r\nReset USB?", "ERROR 6"));
    prompter.Inform("CF out of bounds. Reset.", "INVALID SETTING");

    const auto boxes = answerer.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "ERROR 6");
    EXPECT_EQ(boxes[0].text, "ERROR 6 - COMMUNICATIONS ERROR\nReset USB?");
    EXPECT_EQ(boxes[1].caption, "INVALID SETTING");
    EXPECT_EQ(boxes[1].text, "CF out of bounds. Reset.");
}

TEST(QtPrompterTest, OtherThreadWaitsForTheGuiThreadsAnswer) {
    QtPrompter prompter;
    ModalAnswerer answerer;
    answerer.Press(QMessageBox::Yes);
    std::atomic<int> answer{-1};
    std::thread caller([&] {
        answer = prompter.AskYesNo("Error 5 - USB Data Not Received", "ERROR--TRY AGAIN") ? 1 : 0;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.load() >= 0; }, 5000));
    caller.join();
    EXPECT_EQ(answer.load(), 1);
    ASSERT_EQ(answerer.Count(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].caption, "ERROR--TRY AGAIN");
}

TEST(QtPrompterTest, ShutDownReleasesAWaitingCallerWithTheDefaultAnswer) {
    QtPrompter prompter;
    std::atomic<int> answer{-1};
    std::thread caller([&] { answer = prompter.AskYesNo("Reset USB?", "ERROR 6") ? 1 : 0; });
    // No event loop runs here, so the box cannot be shown: only shutdown ends the wait.
    while (prompter.PendingCount() == 0) {
        std::this_thread::sleep_for(1ms);
    }
    prompter.ShutDown();
    caller.join();
    EXPECT_EQ(answer.load(), 0);
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
    answerer.Press(QMessageBox::Yes);

    std::atomic<int> asked{0};
    std::atomic<int> answer{-1};
    std::atomic<bool> inPass{false};
    doc.SetSweepPass([&] {
        if (asked++ == 0) {
            inPass = true;
            answer = doc.GetPrompter().AskYesNo("Reset USB?", "ERROR 6") ? 1 : 0;
        } else {
            std::this_thread::sleep_for(1ms);
        }
    });
    doc.SetAfterPass([] {});
    doc.OnContinuous();
    while (prompter.PendingCount() == 0) {
        std::this_thread::sleep_for(1ms);
    }

    {
        Watchdog watchdog(prompter, 10s);
        doc.PauseSweep();
        watchdog.Stop();
        EXPECT_FALSE(watchdog.Fired())
            << "the GUI thread and the sweep thread waited on each other";
    }
    EXPECT_FALSE(doc.SweepRunning());
    EXPECT_EQ(answer.load(), 1);
    ASSERT_EQ(answerer.Count(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].caption, "ERROR 6");
    doc.ResumeSweep();  // it ran before the pause, so it runs again
    EXPECT_TRUE(doc.SweepRunning());
    doc.CloseDocument();
    EXPECT_FALSE(doc.SweepRunning());
}

}  // namespace
}  // namespace tavlin::test
