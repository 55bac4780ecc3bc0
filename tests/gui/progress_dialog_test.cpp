#include <gtest/gtest.h>

#include <QDialog>
#include <QProgressBar>
#include <QTest>
#include <thread>

#include "app/qt_progress_dialog.h"

namespace tavlin::test {
namespace {

TEST(ProgressDialogTest, IsAHiddenModelessDialogWithOneBarToAHundred) {
    QtProgressDialog progress;
    QDialog* dialog = progress.Dialog();
    EXPECT_EQ(dialog->windowTitle(), "Collecting Data... Please Wait");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    const auto bars = dialog->findChildren<QProgressBar*>();
    ASSERT_EQ(bars.size(), 1);
    EXPECT_EQ(bars[0]->minimum(), 0);
    EXPECT_EQ(bars[0]->maximum(), 100);
}

// The calibration read of a preset runs on the GUI thread itself: there the
// calls act at once, as nothing else would deliver them until it is done.
TEST(ProgressDialogTest, OnTheGuiThreadCallsActAtOnce) {
    QtProgressDialog progress;
    progress.Show();
    EXPECT_TRUE(progress.Dialog()->isVisible());
    progress.SetPosition(150);
    EXPECT_EQ(progress.Position(), 100);
    progress.Hide();
    EXPECT_FALSE(progress.Dialog()->isVisible());
}

// From the sweep thread the calls are queued: they return at once, even
// while the GUI thread is busy, and take effect when it gets to them.
TEST(ProgressDialogTest, FromAnotherThreadCallsAreQueuedAndNeverWait) {
    QtProgressDialog progress;
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
