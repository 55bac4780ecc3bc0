#pragma once

#include <QByteArray>
#include <QString>

#include "app/qt_theme.h"

namespace tavlin {

class AnalyzerDocument;
class Prompter;
class QtMainFrame;

// What the window keeps over its exit in the user's settings (QSettings,
// under $XDG_CONFIG_HOME) and brings back at the next start: the instrument
// state, the state file's name and whether it had changed since saved, the
// window's place and size, the spectrogram with its settings and its part
// of the window's height, and the theme.
//
// The instrument state (with the colour scheme, trace B, the limit lines and
// the title) is a state file of its own beside the settings file, not bytes
// in the settings: it is recalled the way any state file is, with the same
// checks and its limit mask beside it, and it can be opened like any other.
//
// A file that cannot be read is never a reason not to start: it is renamed
// with ".damaged" (replacing an older one), the user is told, and the window
// starts without what it held.
class QtSessionMemory {
  public:
    static constexpr const char* kStateFileName = "last-state.pqz";
    static constexpr const char* kDamagedSuffix = ".damaged";
    static constexpr const char* kSetAsideCaption = "SETTINGS SET ASIDE";

    // The user's settings file, and the state file beside it.
    static QString SettingsFile();
    static QString StateFile();

    // Before anything reads a setting: a settings file the settings cannot
    // be read from is set aside.
    static void SetAsideDamagedSettings(Prompter& prompter);
    // Brings the kept state back into the document and the spectrogram into
    // the window; a state file that fails a recall's checks is set aside. The
    // window's geometry to place it with comes back (empty: none kept).
    static QByteArray Restore(QtMainFrame& frame, AnalyzerDocument& document);
    // The theme chosen in the last session: read before anything is shown,
    // so that the start's own boxes come in it too.
    static ThemeChoice RememberedTheme();
    // Keeps the session for the next start; a state that cannot be written
    // is told as a failed save is.
    static void Remember(const QtMainFrame& frame, AnalyzerDocument& document);

  private:
    static bool RestoreState(AnalyzerDocument& document);
    static void SetAside(const QString& path, const QString& why, Prompter& prompter);
};

}  // namespace tavlin
