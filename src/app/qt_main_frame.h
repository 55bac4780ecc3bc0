#pragma once

#include <QImage>
#include <QMainWindow>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

#include "view/limit_line_commands.h"

class QAction;
class QLabel;
class QSplitter;

namespace tavlin {

class AutomationServer;
class QtAdvancedMenu;
class QtCalibrationCommands;
class QtLevelMenu;
class QtMarkerMenu;
class QtPlotControls;
class QtPlotView;
class QtWaterfallView;
class ScpiServer;
class UtilityRunner;
class EntryDialogs;
class QtFileMenu;
class QtSweepLogControl;
class QtFrontPanel;
class QtSettingsMenu;
class QtTheme;
class QtUtilitiesMenu;
class AnalyzerDocument;

// The main window: the plot view with the front panel at its right, the
// menus, the toolbar and the status bar. Closing it stops the sweep and
// resets the instrument's link before the window goes.
class QtMainFrame final : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr int kWidth = 950;
    static constexpr int kHeight = 740;
    static constexpr const char* kManualFile = "manual.pdf";

    // The entry dialogs are the window's own, opened over it.
    explicit QtMainFrame(AnalyzerDocument& document, QWidget* parent = nullptr);
    // With other entry dialogs (a script, in tests).
    QtMainFrame(AnalyzerDocument& document, EntryDialogs& dialogs, QWidget* parent = nullptr);
    ~QtMainFrame() override;

    static constexpr const char* kProgramTitle = "Tavlin";

    QtPlotView& View() const { return *view_; }
    QtPlotControls& PlotControls() const { return *plotControls_; }
    QtWaterfallView& Waterfall() const { return *waterfall_; }
    QtFrontPanel& Panel() const { return *panel_; }
    QtFileMenu& FileMenu() const { return *fileMenu_; }
    QtSweepLogControl& SweepLog() const { return *sweepLog_; }
    QtSettingsMenu& SettingsMenu() const { return *settingsMenu_; }
    QtAdvancedMenu& AdvancedMenu() const { return *advancedMenu_; }
    QtUtilitiesMenu& UtilitiesMenu() const { return *utilitiesMenu_; }
    QtCalibrationCommands& Calibration() const { return *calibration_; }
    QtLevelMenu& LevelMenu() const { return *levelMenu_; }
    // The remote servers live as long as the window; closing it ends them
    // before the document closes.
    AutomationServer& Automation() const { return *automation_; }
    ScpiServer& Scpi() const { return *scpi_; }
    // The text of the status bar's message pane.
    QString StatusMessage() const;
    // Where Help's web-site item leads.
    static QUrl WebPage();
    // Puts the window at (0, 0) in its designed size, or where and as large
    // as `geometry` (saved by QWidget::saveGeometry) says, and shows it.
    void Place(const QByteArray& geometry = {});
    // Called when the window closes, before the document does: what is to
    // be kept of the session is still there to read.
    void SetBeforeClose(std::function<void()> beforeClose) {
        beforeClose_ = std::move(beforeClose);
    }
    bool SpectrogramShown() const;
    // View > Theme, choosing the application's look through `theme`.
    void AddThemeMenu(QtTheme& theme);
    const QtTheme* Theme() const { return theme_; }
    // View > Spectrogram: the waterfall under the plot, and the history kept.
    void ShowSpectrogram(bool on);
    // View > Spectrogram Settings...: the waterfall's line height, history
    // length and colour range.
    void EditSpectrogramSettings();
    // The waterfall's part of the plot column's height, as the divider
    // leaves it (also while hidden: the part it comes back with), and that
    // part set, within 0.1 to 0.9.
    double WaterfallShare() const;
    void SetWaterfallShare(double share);
    // The plot as "Export Screen" saves it, with the waterfall under it when
    // it is shown.
    QImage RenderScreen() const;

  public Q_SLOTS:
    void ShowAbout();
    void ShowAnnunciatorHelp();
    void OpenUserManual();
    void OpenWebPage();
    void SetStatusMessage(const QString& text);
    // "name.pqz - Tavlin", the name marked "*" while the state differs from
    // the file's; "Untitled" before the state has a file. Kept up to date
    // by a timer, since a remote command may save or change the state too.
    void RefreshTitle();

    // Limit lines from a mask file (Trace "Load Limit Mask...", or the
    // command line); a file that cannot be used is named in a box.
    bool LoadLimitMaskFile(const QString& path);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void Build(EntryDialogs& dialogs);
    void CreateMenus(EntryDialogs& dialogs);
    void CreateEditMenu();
    void CreateAudioMenu();
    void CreateTraceMenu(EntryDialogs& dialogs);
    void LoadLimitMask();
    void CreateViewMenu();
    void CreateHelpMenu();
    void CreateToolBar();
    void CreateStatusBar();
    QAction* AddStandardEditAction(QMenu* menu, const QString& caption,
                                   QKeySequence::StandardKey key);
    QString CursorReadout(int column) const;

    AnalyzerDocument& doc_;
    std::unique_ptr<EntryDialogs> ownDialogs_;
    QtPlotView* view_ = nullptr;
    QtPlotControls* plotControls_ = nullptr;
    QTimer titleTimer_;
    std::function<void()> beforeClose_;
    QtWaterfallView* waterfall_ = nullptr;
    QAction* spectrogram_ = nullptr;
    QtTheme* theme_ = nullptr;
    QSplitter* plotColumn_ = nullptr;
    double waterfallShare_ = 0.4;
    QtFrontPanel* panel_ = nullptr;
    QtFileMenu* fileMenu_ = nullptr;
    QtSweepLogControl* sweepLog_ = nullptr;
    QtSettingsMenu* settingsMenu_ = nullptr;
    QtAdvancedMenu* advancedMenu_ = nullptr;
    QtUtilitiesMenu* utilitiesMenu_ = nullptr;
    QtCalibrationCommands* calibration_ = nullptr;
    QtMarkerMenu* markerMenu_ = nullptr;
    QtLevelMenu* levelMenu_ = nullptr;
    bool closePending_ = false;
    std::unique_ptr<AutomationServer> automation_;
    std::unique_ptr<UtilityRunner> utilityRunner_;  // outlives the SCPI server
    std::unique_ptr<ScpiServer> scpi_;
    std::unique_ptr<LimitLineCommands> limitLines_;
    QList<QAction*> editActions_;
    QAction* about_ = nullptr;
    QLabel* messagePane_ = nullptr;
    bool documentClosed_ = false;
};

}  // namespace tavlin
