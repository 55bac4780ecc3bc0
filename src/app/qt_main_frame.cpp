#include "app/qt_main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <algorithm>
#include <cmath>

#include "app/qt_about_dialog.h"
#include "app/qt_advanced_menu.h"
#include "app/qt_annunciator_help.h"
#include "app/qt_calibration_commands.h"
#include "app/qt_file_menu.h"
#include "app/qt_level_menu.h"
#include "app/qt_marker_menu.h"
#include "app/qt_spectrogram_settings_dialog.h"
#include "app/qt_sweep_log_control.h"
#include "app/qt_theme_menu.h"
#include "app/qt_toolbar_icons.h"
#include "app/qt_trace_mode_menu.h"
#include "app/qt_user_manual.h"
#include "app/qt_utilities_menu.h"
#include "app/utility_runner.h"
#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "panel/qt_entry_dialogs.h"
#include "panel/qt_front_panel.h"
#include "panel/qt_plot_controls.h"
#include "panel/qt_settings_menu.h"
#include "ports/prompter.h"
#include "remote/automation_server.h"
#include "remote/scpi_server.h"
#include "utilities/listener/qt_listener_dialog.h"
#include "view/marker_readout.h"
#include "view/plot_geometry.h"
#include "view/qt_plot_view.h"
#include "view/qt_waterfall_view.h"

namespace tavlin {

namespace {

constexpr int kLastColumn = 640;
constexpr const char* kReady = "Ready";
constexpr const char* kWebPage = "https://tavlin.example.com/";
constexpr int kTitleRefreshMs = 500;

QString ActionName(int commandId) {
    return QStringLiteral("action%1").arg(commandId);
}

}  // namespace

QtMainFrame::QtMainFrame(AnalyzerDocument& document, QWidget* parent)
    : QMainWindow(parent), doc_(document) {
    ownDialogs_ = std::make_unique<QtEntryDialogs>(this);
    Build(*ownDialogs_);
}

QtMainFrame::QtMainFrame(AnalyzerDocument& document, EntryDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), doc_(document) {
    Build(dialogs);
}

QtMainFrame::~QtMainFrame() = default;

void QtMainFrame::Build(EntryDialogs& dialogs) {
    setObjectName(QStringLiteral("mainFrame"));
    // The state file's name and whether it changed since saved.
    RefreshTitle();
    titleTimer_.setInterval(kTitleRefreshMs);
    connect(&titleTimer_, &QTimer::timeout, this, &QtMainFrame::RefreshTitle);
    titleTimer_.start();
    // The plot grows with the window, so the window may be maximised too.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    // The plot takes what the window gives; the panel keeps its width. The
    // window's smallest size follows from the plot's smallest and the
    // panel's buttons at their own size.
    auto* centre = new QWidget(this);
    auto* row = new QHBoxLayout(centre);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    // The waterfall, when shown, shares the plot's column and its width, so
    // its columns lie under the plot's.
    plotColumn_ = new QSplitter(Qt::Vertical, centre);
    plotColumn_->setObjectName(QStringLiteral("plotColumn"));
    plotColumn_->setChildrenCollapsible(false);
    view_ = new QtPlotView(doc_, plotColumn_);
    waterfall_ = new QtWaterfallView(doc_, plotColumn_);
    waterfall_->hide();
    plotColumn_->addWidget(view_);
    plotColumn_->addWidget(waterfall_);
    panel_ = new QtFrontPanel(doc_, dialogs, centre);
    row->addWidget(plotColumn_, 1);
    row->addWidget(panel_);
    setCentralWidget(centre);
    CreateMenus(dialogs);
    CreateToolBar();
    CreateStatusBar();
    connect(view_, &QtPlotView::cursorReadout, this, &QtMainFrame::SetStatusMessage);
    connect(waterfall_, &QtWaterfallView::cursorReadout, this, &QtMainFrame::SetStatusMessage);
    plotControls_ = new QtPlotControls(doc_, *view_);
    connect(view_, &QtPlotView::referenceStepped, panel_, &QtFrontPanel::StepReferenceLevel);
    connect(view_, &QtPlotView::sweepStartedOrEnded, panel_, &QtFrontPanel::SyncModes);
    setMouseTracking(true);
    resize(kWidth, kHeight);
}

void QtMainFrame::Place(const QByteArray& geometry) {
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        resize(kWidth, kHeight);
        move(0, 0);
    }
    show();
    raise();
    activateWindow();
    view_->setFocus();  // the arrow keys move the marker from the start
}

// --- Menus ----------------------------------------------------------------------------

void QtMainFrame::CreateMenus(EntryDialogs& dialogs) {
    fileMenu_ = new QtFileMenu(doc_, *view_, this);
    menuBar()->addMenu(fileMenu_);
    sweepLog_ = new QtSweepLogControl(doc_, this);
    fileMenu_->AddSweepLogItems(sweepLog_->StartAction(), sweepLog_->StopAction());
    CreateEditMenu();
    CreateTraceMenu(dialogs);
    markerMenu_ = new QtMarkerMenu(doc_, *this);
    menuBar()->addMenu(markerMenu_);
    CreateViewMenu();
    fileMenu_->SetScreenRenderer([this] { return RenderScreen(); });
    fileMenu_->SetPrintBelow([this](QPainter& painter, const QRect& area) {
        if (!waterfall_->isHidden()) {
            waterfall_->PaintOn(painter, area);
        }
    });
    settingsMenu_ = new QtSettingsMenu(doc_, dialogs, this);
    menuBar()->addMenu(settingsMenu_);
    automation_ = std::make_unique<AutomationServer>(doc_);
    scpi_ = std::make_unique<ScpiServer>(doc_);
    utilityRunner_ = std::make_unique<UtilityRunner>(doc_);
    scpi_->SetUtilityRunner(utilityRunner_.get());
    utilitiesMenu_ = new QtUtilitiesMenu(doc_, dialogs, this);
    menuBar()->addMenu(utilitiesMenu_);
    connect(utilitiesMenu_, &QtUtilitiesMenu::workerEnded, this, [this] {
        if (closePending_) {
            close();
        }
    });
    CreateAudioMenu();
    advancedMenu_ = new QtAdvancedMenu(*automation_, *scpi_, dialogs, this);
    menuBar()->addMenu(advancedMenu_);
    calibration_ = new QtCalibrationCommands(doc_, dialogs, *utilitiesMenu_, this);
    calibration_->AddSelfTest(*utilitiesMenu_);
    calibration_->AddFactoryCommands(*advancedMenu_);
    CreateHelpMenu();
}

QAction* QtMainFrame::AddStandardEditAction(QMenu* menu, const QString& caption,
                                            QKeySequence::StandardKey key) {
    QAction* action = menu->addAction(caption);
    action->setShortcut(key);
    // The screen has nothing to cut, copy or paste; the entries stay for
    // the toolbar's sake, as on the instrument's own software.
    action->setEnabled(false);
    editActions_.append(action);
    return action;
}

void QtMainFrame::CreateAudioMenu() {
    QMenu* audio = menuBar()->addMenu(QStringLiteral("&Audio"));
    QAction* listen = audio->addAction(QStringLiteral("Listen"), this, [this] {
        // Not while a utility's worker drives the instrument.
        if (utilitiesMenu_->WorkerRunning() || doc_.UtilityOwns()) {
            QApplication::beep();
            return;
        }
        RunListenDialog(doc_, this);
    });
    listen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    listen->setObjectName(ActionName(32789));
}

void QtMainFrame::CreateEditMenu() {
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("editMenu"));
    AddStandardEditAction(edit, QStringLiteral("Cu&t"), QKeySequence::Cut)
        ->setObjectName(QStringLiteral("cut"));
    AddStandardEditAction(edit, QStringLiteral("&Copy"), QKeySequence::Copy)
        ->setObjectName(QStringLiteral("copy"));
    AddStandardEditAction(edit, QStringLiteral("&Paste"), QKeySequence::Paste)
        ->setObjectName(QStringLiteral("paste"));
    edit->addSeparator();
    QAction* title = edit->addAction(QStringLiteral("Set Title"));
    title->setObjectName(ActionName(32771));
    connect(title, &QAction::triggered, this, [this] { settingsMenu_->Commands().OnSetTitle(); });
}

void QtMainFrame::CreateTraceMenu(EntryDialogs& dialogs) {
    limitLines_ = std::make_unique<LimitLineCommands>(doc_, dialogs);
    LimitLineCommands& l = *limitLines_;
    QMenu* trace = menuBar()->addMenu(QStringLiteral("&Trace"));
    trace->setObjectName(QStringLiteral("traceMenu"));
    QAction* aToB = trace->addAction(QStringLiteral("Trace A->B"));
    aToB->setObjectName(ActionName(32803));
    connect(aToB, &QAction::triggered, this, [&l] { l.OnTraceAToB(); });
    QAction* viewB = trace->addAction(QStringLiteral("View Trace B"));
    viewB->setObjectName(ActionName(32804));
    viewB->setCheckable(true);
    connect(viewB, &QAction::triggered, this, [&l] { l.OnViewTraceB(); });
    QAction* limits = trace->addAction(QStringLiteral("Limit Lines"));
    limits->setObjectName(ActionName(32811));
    limits->setCheckable(true);
    connect(limits, &QAction::triggered, this, [&l] { l.OnLimitLines(); });
    QAction* mask = trace->addAction(QStringLiteral("Load Limit Mask..."));
    mask->setObjectName(QStringLiteral("loadLimitMask"));
    connect(mask, &QAction::triggered, this, &QtMainFrame::LoadLimitMask);
    connect(trace, &QMenu::aboutToShow, this, [&l, viewB, limits] {
        viewB->setChecked(l.TraceBShown());
        limits->setChecked(l.LimitLinesOn());
    });
    new QtTraceModeMenu(trace, doc_, l, this);
}

// A mask file of levels against frequency becomes the limit lines; one that
// cannot be read says why and leaves the lines as they were.
void QtMainFrame::LoadLimitMask() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Load Limit Mask"), QString(),
                                     QStringLiteral("Limit masks (*.csv);;All files (*)"));
    if (!path.isEmpty()) {
        LoadLimitMaskFile(path);
    }
}

bool QtMainFrame::LoadLimitMaskFile(const QString& path) {
    std::string error;
    if (!limitLines_->LoadLimitMask(path.toStdString(), error)) {
        doc_.GetPrompter().Inform(error, "UNABLE TO OPEN");
        return false;
    }
    return true;
}

void QtMainFrame::CreateViewMenu() {
    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    spectrogram_ = viewMenu->addAction(QStringLiteral("Spectrogram"));
    spectrogram_->setObjectName(QStringLiteral("spectrogram"));
    spectrogram_->setCheckable(true);
    spectrogram_->setStatusTip(QStringLiteral("Show the sweeps as a waterfall under the plot"));
    connect(spectrogram_, &QAction::toggled, this, &QtMainFrame::ShowSpectrogram);
    QAction* settings = viewMenu->addAction(QStringLiteral("Spectrogram Settings..."));
    settings->setObjectName(QStringLiteral("spectrogramSettings"));
    settings->setStatusTip(
        QStringLiteral("Set the waterfall's line height, history length and colour range"));
    connect(settings, &QAction::triggered, this, &QtMainFrame::EditSpectrogramSettings);
    levelMenu_ = new QtLevelMenu(*viewMenu, doc_.GetPrompter(), [this](const LevelDisplay& l) {
        view_->SetLevels(l);
        markerMenu_->SetLevels(l);
    });
}

void QtMainFrame::EditSpectrogramSettings() {
    QtSpectrogramSettingsDialog dialog(waterfall_->Settings(), this);
    if (dialog.exec() == QDialog::Accepted) {
        waterfall_->SetSettings(dialog.Result());
    }
}

// The plot gives up part of its smallest height to the waterfall; its texts
// shrink with it rather than the window growing off the screen.
void QtMainFrame::ShowSpectrogram(bool on) {
    if (spectrogram_->isChecked() != on) {
        spectrogram_->setChecked(on);  // comes back here through toggled
        return;
    }
    if (!on) {
        waterfallShare_ = WaterfallShare();
    }
    doc_.SetSpectrogramOn(on);
    view_->setMinimumHeight(on ? plot::kHeight / 2 : 0);
    waterfall_->setVisible(on);
    if (on) {
        SetWaterfallShare(waterfallShare_);
    }
}

double QtMainFrame::WaterfallShare() const {
    const QList<int> sizes = plotColumn_->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (waterfall_->isHidden() || sizes.value(1) <= 0 || total <= 0) {
        return waterfallShare_;
    }
    return static_cast<double>(sizes.value(1)) / total;
}

// The splitter shares out its height by the sizes' proportions, whatever
// its height now (none yet, before the window is shown).
void QtMainFrame::SetWaterfallShare(double share) {
    constexpr double kLeast = 0.1;
    constexpr double kMost = 0.9;
    constexpr int kParts = 1000;
    waterfallShare_ = std::isfinite(share) ? std::clamp(share, kLeast, kMost) : 0.4;
    if (!waterfall_->isHidden()) {
        const int below = static_cast<int>(std::lround(kParts * waterfallShare_));
        plotColumn_->setSizes({kParts - below, below});
    }
}

void QtMainFrame::AddThemeMenu(QtTheme& theme) {
    theme_ = &theme;
    auto* viewMenu = menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu"));
    viewMenu->addSeparator();
    viewMenu->addMenu(new QtThemeMenu(theme, viewMenu));
}

bool QtMainFrame::SpectrogramShown() const {
    return spectrogram_->isChecked();
}

QImage QtMainFrame::RenderScreen() const {
    const QImage plot = view_->RenderScreen();
    if (waterfall_->isHidden()) {
        return plot;
    }
    const QImage waterfall = waterfall_->RenderImage(plot::kHeight / 2);
    QImage screen(plot.width(), plot.height() + waterfall.height(), QImage::Format_RGB32);
    QPainter painter(&screen);
    painter.drawImage(0, 0, plot);
    painter.drawImage(0, plot.height(), waterfall);
    painter.end();
    return screen;
}

void QtMainFrame::CreateHelpMenu() {
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    about_ = help->addAction(QStringLiteral("&About Tavlin"), this, &QtMainFrame::ShowAbout);
    about_->setObjectName(QStringLiteral("about"));
    about_->setStatusTip(QStringLiteral("Program, firmware and serial number"));
    help->addAction(QStringLiteral("Annunciator Help"), this, &QtMainFrame::ShowAnnunciatorHelp)
        ->setObjectName(ActionName(32821));
    help->addAction(QStringLiteral("User Manual"), this, &QtMainFrame::OpenUserManual)
        ->setObjectName(ActionName(32818));
    help->addAction(QStringLiteral("Tavlin on the Web"), this, &QtMainFrame::OpenWebPage)
        ->setObjectName(ActionName(32819));
}

// --- Toolbar and status bar ---------------------------------------------------------

void QtMainFrame::CreateToolBar() {
    QToolBar* tools = addToolBar(QStringLiteral("Standard"));
    tools->setObjectName(QStringLiteral("toolBar"));
    tools->setMovable(false);
    tools->setIconSize(QSize(16, 16));
    const QStyle& s = *style();
    const auto add = [tools](QAction* action, const QIcon& icon, const QString& tip) {
        action->setIcon(icon);
        action->setToolTip(tip);
        tools->addAction(action);
    };
    add(fileMenu_->NewAction(), QtToolbarIcons::New(s), QStringLiteral("New"));
    add(fileMenu_->RecallAction(), QtToolbarIcons::Recall(s), QStringLiteral("Recall State"));
    add(fileMenu_->SaveAction(), QtToolbarIcons::Save(s), QStringLiteral("Save State"));
    tools->addSeparator();
    add(editActions_.at(0), QtToolbarIcons::Cut(), QStringLiteral("Cut"));
    add(editActions_.at(1), QtToolbarIcons::Copy(), QStringLiteral("Copy"));
    add(editActions_.at(2), QtToolbarIcons::Paste(), QStringLiteral("Paste"));
    tools->addSeparator();
    add(fileMenu_->PrintAction(), QtToolbarIcons::Print(), QStringLiteral("Print"));
    tools->addSeparator();
    add(about_, QtToolbarIcons::About(s), QStringLiteral("About"));
}

void QtMainFrame::CreateStatusBar() {
    messagePane_ = new QLabel(QString::fromLatin1(kReady), this);
    messagePane_->setObjectName(QStringLiteral("messagePane"));
    statusBar()->addWidget(messagePane_, 1);
    statusBar()->addPermanentWidget(sweepLog_->Pane());
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(QString::fromLatin1(indicator), this);
        pane->setObjectName(QString::fromLatin1(indicator));
        pane->setAlignment(Qt::AlignCenter);
        pane->setFrameShape(QFrame::Panel);
        pane->setFrameShadow(QFrame::Sunken);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(pane->text()) + 12);
        // The lock keys' state is not something the toolkit reports on
        // every desktop, so the panes show their names greyed.
        pane->setEnabled(false);
        statusBar()->addPermanentWidget(pane);
    }
}

QString QtMainFrame::StatusMessage() const {
    return messagePane_->text();
}

void QtMainFrame::SetStatusMessage(const QString& text) {
    messagePane_->setText(text);
}

void QtMainFrame::RefreshTitle() {
    if (documentClosed_) {
        return;
    }
    const std::filesystem::path path = doc_.DocumentPath();
    const QString name = path.empty() ? QStringLiteral("Untitled")
                                      : QString::fromStdString(path.filename().string());
    const QString changed = doc_.ChangedSinceSaved() ? QStringLiteral("*") : QString();
    const QString title =
        QStringLiteral("%1%2 - %3").arg(name, changed, QString::fromLatin1(kProgramTitle));
    if (title != windowTitle()) {
        setWindowTitle(title);
    }
}

// --- Help ------------------------------------------------------------------------------

void QtMainFrame::ShowAbout() {
    QtAboutDialog about(doc_, this);
    about.exec();
}

void QtMainFrame::ShowAnnunciatorHelp() {
    QtAnnunciatorHelp help(this);
    help.exec();
}

// Nothing is reported when the desktop has no program for the file.
// A manual that is missing, or that no program on the desktop can show, is
// said so: a menu item that silently does nothing looks broken.
void QtMainFrame::OpenUserManual() {
    const QString name = QString::fromLatin1(kManualFile);
    const QStringList folders = QtUserManual::SearchFolders();
    const QString path = QtUserManual::Find(folders, name);
    if (path.isEmpty()) {
        doc_.GetPrompter().Inform(QtUserManual::NotFoundText(folders, name).toStdString(),
                                  "USER MANUAL NOT FOUND");
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        doc_.GetPrompter().Inform(
            QStringLiteral("%1 could not be opened: no program to show PDF files was found.")
                .arg(QDir::toNativeSeparators(path))
                .toStdString(),
            "USER MANUAL");
    }
}

void QtMainFrame::OpenWebPage() {
    QDesktopServices::openUrl(WebPage());
}

// A product setting: the address can be changed in the program's settings
// ("Help/WebPage") without a new build.
QUrl QtMainFrame::WebPage() {
    const QSettings settings;
    return QUrl(
        settings.value(QStringLiteral("Help/WebPage"), QString::fromLatin1(kWebPage)).toString());
}

// --- Window events ---------------------------------------------------------------------

void QtMainFrame::closeEvent(QCloseEvent* event) {
    // A procedure sweeping on its worker still drives the instrument and
    // may yet ask a question: the window closes once it has ended.
    if (utilitiesMenu_->WorkerRunning()) {
        closePending_ = true;
        SetStatusMessage(QStringLiteral("The window closes when the utility has finished"));
        event->ignore();
        return;
    }
    if (!documentClosed_) {
        if (beforeClose_) {
            beforeClose_();
        }
        documentClosed_ = true;
        // No remote command may reach a document that is closing.
        automation_->Disable();
        scpi_->Disable();
        sweepLog_->Stop();
        doc_.CloseDocument();
    }
    event->accept();
}

// Only a pointer over the frame itself (not over the view) gets here; the
// readout is for the trace's own columns and no further.
void QtMainFrame::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (x >= 0 && x <= kLastColumn) {
        SetStatusMessage(CursorReadout(x));
    }
    QMainWindow::mouseMoveEvent(event);
}

QString QtMainFrame::CursorReadout(int column) const {
    MarkerCommands markers(doc_);
    const MarkerReadout readout(markers.Scale(), ReadingFlag::kNone, view_->Levels());
    return QString::fromStdString(
        readout.Cursor(column, markers.LevelOfColumn(column), markers.FlagOfColumn(column)));
}

}  // namespace tavlin
