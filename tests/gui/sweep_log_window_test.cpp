// File "Log Sweeps...": the dialog refuses a field it cannot use, the log
// runs with "LOG" in the status bar until it is stopped, and a file that
// cannot be made is said.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <sstream>

#include "app/qt_main_frame.h"
#include "app/qt_sweep_log_control.h"
#include "app/qt_sweep_log_dialog.h"
#include "gui/gui_fixtures.h"
#include "support/recording_prompter.h"
#include "support/scripted_entry_dialogs.h"

namespace tavlin {
namespace {

TEST(SweepLogWindow, LogsFromTheFileMenuUntilStoppedWithTheStateInTheStatusBar) {
    test::RecordingPrompter prompter;
    test::ScriptedEntryDialogs dialogs;
    test::GuiDocument gui(prompter);
    AnalyzerDocument& doc = gui.Doc();
    QtMainFrame frame(doc, dialogs);
    const std::filesystem::path path = gui.Directory() / "sweeps.csv";
    test::ModalAnswerer answerer;
    QString refusal;
    answerer.OnDialog([&](QDialog& dialog) {
        auto& log = static_cast<QtSweepLogDialog&>(dialog);
        log.FileField()->setText(QString::fromStdString(path.string()));
        log.IntervalField()->setText(QStringLiteral("5 years"));
        log.accept();
        refusal = log.findChild<QLabel*>("refusal")->text();
        log.IntervalField()->clear();
        log.FormatField()->setCurrentIndex(1);
        log.accept();
    });
    frame.findChild<QAction*>("logSweeps")->trigger();
    EXPECT_EQ(refusal, "The interval takes a time (90s, 5m, 1h), not '5 years'");
    QtSweepLogControl& control = frame.SweepLog();
    ASSERT_TRUE(control.Logging());
    EXPECT_FALSE(control.Pane()->isHidden());
    EXPECT_FALSE(control.StartAction()->isEnabled());
    doc.PerformSweep();
    doc.PerformSweep();
    frame.findChild<QAction*>("stopLoggingSweeps")->trigger();
    EXPECT_TRUE(control.Pane()->isHidden());
    EXPECT_TRUE(control.StartAction()->isEnabled());
    std::istringstream lines(test::ReadFileText(path));
    int rows = 0;
    for (std::string line; std::getline(lines, line);) {
        rows += line.starts_with('#') ? 0 : 1;
    }
    EXPECT_EQ(rows, 2);

    SweepLogSettings nowhere;
    nowhere.path = gui.Directory() / "no-such-folder" / "sweeps.csv";
    EXPECT_NE(control.Start(nowhere).find("cannot create"), std::string::npos);
    EXPECT_FALSE(control.Logging());
}

}  // namespace
}  // namespace tavlin
