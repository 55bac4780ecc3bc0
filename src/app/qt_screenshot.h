#pragma once

#include <QSize>
#include <QString>
#include <string>
#include <vector>

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
        QSize windowSize;  // empty: the size the window starts with
    };

    // 0 when the picture was written; 2 when a command was not recognised
    // (the picture is still written); 1 when a sweep did not end in time or
    // the file could not be written. Replies go to standard output, what
    // went wrong to the error stream.
    static int Take(QtApplication& application, const Request& request);

  private:
    static bool SweepOnce(QtApplication& application);
    static bool WriteWindow(QtApplication& application, const QString& path);
};

}  // namespace tavlin
