#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <memory>

#include "app/qt_application.h"
#include "app/qt_main_frame.h"
#include "gui/gui_document.h"
#include "support/recording_prompter.h"
#include "support/scripted_entry_dialogs.h"

namespace tavlin::test {

// The main window on a document of the virtual instrument, with scripted
// entry dialogs and recorded message boxes. Settings go to Qt's test
// location, never to the user's own.
class MainFrameFixture : public ::testing::Test {
  protected:
    MainFrameFixture() {
        QStandardPaths::setTestModeEnabled(true);
        QtApplication::SetSettingsKey();
        QSettings().remove(QStringLiteral("Recent File List"));
        fixture = std::make_unique<GuiDocument>(prompter);
        frame = std::make_unique<QtMainFrame>(Doc(), dialogs);
    }
    ~MainFrameFixture() override {
        Doc().CloseDocument();
        frame.reset();
        fixture.reset();
    }

    AnalyzerDocument& Doc() { return fixture->Doc(); }

    QAction* FindAction(const QString& name) const { return frame->findChild<QAction*>(name); }
    QMenu* FindMenu(const QString& name) const { return frame->findChild<QMenu*>(name); }

    // The captions of a menu's entries in order, separators as "-".
    static QStringList Captions(const QMenu& menu) {
        QStringList captions;
        for (QAction* action : menu.actions()) {
            captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        return captions;
    }

    void WaitForSweepEnd() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !Doc().SweepRunning(); }, 20000));
    }

    RecordingPrompter prompter;
    ScriptedEntryDialogs dialogs;
    std::unique_ptr<GuiDocument> fixture;
    std::unique_ptr<QtMainFrame> frame;
};

}  // namespace tavlin::test
