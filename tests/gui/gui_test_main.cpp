// The window's tests run real widgets, so they need one application object
// for the whole run, on Qt's offscreen platform unless the caller chose one.
// Settings go to a folder of this run's own, never to the user's: the
// window's, and those of every program the tests start.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "app/qt_application.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char folder[] = "/tmp/tavlin-gui-config-XXXXXX";
    if (mkdtemp(folder) == nullptr || setenv("XDG_CONFIG_HOME", folder, 1) != 0) {
        return 1;
    }
    int status = 1;
    {
        QApplication app(argc, argv);
        tavlin::QtApplication::SetSettingsKey();
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    std::filesystem::remove_all(folder);
    return status;
}
