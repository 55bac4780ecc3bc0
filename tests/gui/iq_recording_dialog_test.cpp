#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/qt_iq_recording_dialog.h"
#include "app/qt_main_frame.h"
#include "gui/gui_fixtures.h"
#include "support/recording_prompter.h"
#include "support/scripted_entry_dialogs.h"

namespace tavlin {
namespace {

// File > Record I/Q... records the sweeps that follow until stopped, and
// says what it has written.
TEST(IqRecordingDialog, RecordsUntilStoppedAndShowsWhatIsWritten) {
    test::RecordingPrompter prompter;
    test::ScriptedEntryDialogs dialogs;
    test::GuiDocument gui(prompter);
    AnalyzerDocument& doc = gui.Doc();
    QtMainFrame frame(doc, dialogs);
    frame.findChild<QAction*>("recordIq")->trigger();
    auto* dialog = frame.findChild<QtIqRecordingDialog*>("iqRecordingDialog");
    ASSERT_NE(dialog, nullptr);
    const std::filesystem::path base = gui.Directory() / "rec";
    dialog->findChild<QLineEdit*>("iqFile")->setText(QString::fromStdString(base.string()));
    dialog->findChild<QRadioButton*>("iqUntilStopped")->setChecked(true);
    dialog->findChild<QPushButton*>("iqStart")->click();
    doc.SetSpan(100e3);
    doc.PerformSweep();
    doc.PerformSweep();
    dialog->findChild<QPushButton*>("iqStop")->click();
    EXPECT_EQ(dialog->findChild<QLabel*>("iqWritten")->text(),
              "0.1 MB written in 2 captures, 0 dropped");
    EXPECT_EQ(std::filesystem::file_size(base.string() + ".sigmf-data"), 2u * 16384u * 4u);
    EXPECT_FALSE(dialog->findChild<QPushButton*>("iqStop")->isEnabled());
}

}  // namespace
}  // namespace tavlin
