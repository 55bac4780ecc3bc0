// The window's tests run real widgets, so they need one application object
// for the whole run, on Qt's offscreen platform unless the caller chose one.
// Settings go to Qt's test location, never to the user's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>

#include "app/qt_application.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    tavlin::QtApplication::SetSettingsKey();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
