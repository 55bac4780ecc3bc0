#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/qt_progress_dialog.h"
#include "app/qt_prompter.h"
#include "app/qt_theme.h"
#include "app/qt_view_notifier.h"

namespace tavlin {

class QtMainFrame;
class Clock;
class Prompter;
class UsbDriver;
class AnalyzerDocument;

// What the window starts from, and whether it keeps the session (state,
// window, spectrogram) at its exit for the next start.
struct StartSession {
    bool restore = false;  // the session kept at the last exit; else the preset
    bool remember = false;
    // The theme to start in; none: the one kept with the session when it is
    // remembered, else Light (a screenshot looks the same on every desktop).
    std::optional<ThemeChoice> theme;
};

// The program's start-up and end: the settings key, the document (which
// connects to the instrument, with its messages, before any window exists),
// the main window with the view, and the order in which they go away.
class QtApplication {
  public:
    static constexpr const char* kOrganisation = "Local AppWizard-Generated Applications";
    static constexpr const char* kName = "Tavlin";

    // The key the settings and the recent-file list are kept under. Call
    // once the QApplication exists, before anything reads a setting.
    static void SetSettingsKey();

    // unattended: where the message boxes go when nobody is at the screen
    // (screenshots); null shows them on the screen.
    QtApplication(UsbDriver& usb, Clock& clock, Prompter* unattended = nullptr);
    // Closes the window if it is still open (which stops the sweep and
    // resets the link), then the document.
    ~QtApplication();
    QtApplication(const QtApplication&) = delete;
    QtApplication& operator=(const QtApplication&) = delete;

    // Builds the document and, unless the instrument was not found or the
    // user gave up the start and the program must end (false), the window;
    // brings back the kept session when asked, then recalls `stateFile` when
    // one is named, and shows the window. The document connects and reads
    // the calibration on a thread of its own while this one keeps the
    // progress dialog and the messages going.
    bool Start(const std::string& stateFile = {}, StartSession session = {});

    // Ctrl+C or the session's end: gives up a start in progress, or closes
    // the window the ordinary way.
    void Close();
    // A close was asked for: the start-up must not go on to show the window
    // or run the event loop, which no window would ever end.
    bool Closing() const { return closing_; }

    AnalyzerDocument& Document() { return *doc_; }
    QtMainFrame& Frame() { return *frame_; }
    QtPrompter& ScreenPrompter() { return screenPrompter_; }
    QtProgressDialog& Progress() { return progress_; }
    QtTheme& Theme() { return theme_; }

  private:
    void BuildDocument(Prompter& prompter);
    void GiveUpStart();
    void ConnectFrame();

    UsbDriver& usb_;
    Clock& clock_;
    Prompter* unattended_;
    QtTheme theme_;
    QtPrompter screenPrompter_;
    QtViewNotifier views_;
    QtProgressDialog progress_;
    std::unique_ptr<AnalyzerDocument> doc_;
    std::unique_ptr<QtMainFrame> frame_;
    bool starting_ = false;
    bool closing_ = false;
};

}  // namespace tavlin
