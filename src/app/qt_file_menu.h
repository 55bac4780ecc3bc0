#pragma once

#include <QImage>
#include <QMenu>
#include <QPrinter>
#include <functional>
#include <memory>
#include <string>

#include "app/qt_recent_files.h"
#include "view/qt_plot_view.h"

class QAction;

namespace tavlin {

class AnalyzerDocument;
class QtIqRecordingDialog;

// The File menu: state files (New, Recall, Save, Save As and the four most
// recent), trace and screen export, printing, Exit. A failed write is shown
// in a message box and leaves no partial file behind.
class QtFileMenu final : public QMenu {
    Q_OBJECT

  public:
    static constexpr const char* kStateFilter = "Tavlin files (*.pqz)";
    static constexpr const char* kCsvFilter = "CSV files (*.csv)";
    static constexpr const char* kPngFilter = "PNG images (*.png)";
    static constexpr const char* kSaveFailedCaption = "UNABLE TO SAVE";

    // window: the main window the dialogs belong to; Exit closes it.
    QtFileMenu(AnalyzerDocument& document, QtPlotView& view, QWidget* window);

    QAction* NewAction() const { return new_; }
    QAction* RecallAction() const { return recall_; }
    QAction* SaveAction() const { return save_; }
    QAction* PrintAction() const { return print_; }

    // What the menu commands do once a file name is known.
    bool RecallStateFile(const QString& path);
    bool SaveStateFile(const QString& path);
    bool ExportTraceTo(const QString& path);
    bool ExportScreenTo(const QString& path);
    bool ExportSpectrogramTo(const QString& path);
    // What "Export Screen" saves; the plot view's screen unless the window
    // puts more beside it (the waterfall).
    void SetScreenRenderer(std::function<QImage()> render) { renderScreen_ = std::move(render); }
    // What a printed page carries under the plot (the waterfall, while shown).
    void SetPrintBelow(QtPlotView::PaintBelow paintBelow) { printBelow_ = std::move(paintBelow); }
    bool PrintOn(QPrinter& printer);
    QStringList RecentFiles() const { return recent_.Files(); }
    // The sweep log's items, after the exports.
    void AddSweepLogItems(QAction* start, QAction* stop);

  private:
    void AddStateFileItems();
    void AddExportAndPrintItems();
    void RebuildRecentItems();
    QAction* AddCommand(const QString& caption, const QString& name, void (QtFileMenu::*slot)());
    QString AskOpenFileName(const QString& title, const QString& filter);
    QString AskSaveFileName(const QString& title, const QString& filter, const QString& suffix);
    QString StartDirectory() const;
    bool ShownIfFailed(const std::string& error);

    void OnNew();
    void OnRecall();
    void OnSave();
    void OnSaveAs();
    void OnExportTrace();
    void OnExportScreen();
    void OnExportSpectrogram();
    void OnRecordIq();
    void OnPrint();
    void OnPrintPreview();
    void OnPrintSetup();
    void OnExit();

    AnalyzerDocument& doc_;
    QtPlotView& view_;
    std::function<QImage()> renderScreen_;
    QtPlotView::PaintBelow printBelow_;
    QWidget* window_;
    QtIqRecordingDialog* iqRecording_ = nullptr;  // made at its first use
    QtRecentFiles recent_;
    QPrinter printer_;
    QAction* new_ = nullptr;
    QAction* recall_ = nullptr;
    QAction* save_ = nullptr;
    QAction* print_ = nullptr;
    QAction* printSeparator_ = nullptr;
    QAction* recentSeparator_ = nullptr;
    QAction* exitSeparator_ = nullptr;
    QList<QAction*> recentItems_;
};

}  // namespace tavlin
