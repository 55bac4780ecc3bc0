#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QAbstractButton;

class QAction;

namespace tavlin {

class QtApplication;

// A picture of the whole main window for users and bug reports: commands of
// the automation language, then a number of single sweeps, each waited
// for, then the window into a PNG file.
class QtScreenshot {
  public:
    static constexpr int kSweepLimitMs = 120000;

    struct Request {
        QString pngPath;
        int sweeps = 1;
        std::vector<std::string> commands;
        // The caption of a front-panel button, or a menu item as
        // "Menu/Item", whose dialog is shown open over the window; empty
        // for none.
        QString dialogButton;
        // Front-panel buttons pressed in order after the sweeps (markers in
        // delta mode, say, which no automation command sets).
        std::vector<QString> presses;
        QSize windowSize;  // empty: the size the window starts with
        // A button of the open dialog pressed before the picture (START of
        // the measuring receiver), and how long the dialog then runs.
        QString dialogPress;
        int dialogRunMs = 0;
    };

    // 0 when the picture was written; 2 when a command was not recognised
    // (the picture is still written); 1 when a sweep did not end in time or
    // the file could not be written. Replies go to standard output, what
    // went wrong to the error stream.
    static int Take(QtApplication& application, const Request& request);

  private:
    static bool SweepOnce(QtApplication& application);
    // False when the sweep did not end in time (it is then asked to stop).
    static bool WaitForSweepEnd(QtApplication& application);
    static bool WriteWindow(QtApplication& application, const QString& path);
    // The window with the button's dialog open over it; a null image when
    // there is no such button or it opens no dialog.
    static QImage PictureWithDialog(QtApplication& application, const Request& request);
    // The menu item of a "Menu/Item" or "Menu/Submenu/Item" path, or null.
    static QAction* MenuItem(QtApplication& application, const QString& path);
    static QAbstractButton* PanelButton(QtApplication& application, const QString& caption);
    static void PressAcceptingDialogs(const std::function<void()>& press);
    static bool WriteImage(const QImage& picture, const QString& path);
};

}  // namespace tavlin
