#include "app/qt_file_menu.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QSaveFile>

#include "app/qt_iq_recording_dialog.h"
#include "document/analyzer_document.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "view/qt_plot_view.h"
#include "view/spectrogram_export.h"
#include "view/trace_export.h"

namespace tavlin {

namespace {

std::filesystem::path ToPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

}  // namespace

QtFileMenu::QtFileMenu(AnalyzerDocument& document, QtPlotView& view, QWidget* window)
    : QMenu(QStringLiteral("&File"), window), doc_(document), view_(view), window_(window) {
    setObjectName(QStringLiteral("fileMenu"));
    AddStateFileItems();
    addSeparator();
    AddExportAndPrintItems();
    recentSeparator_ = addSeparator();
    exitSeparator_ = addSeparator();
    QAction* exit =
        AddCommand(QStringLiteral("E&xit"), QStringLiteral("exit"), &QtFileMenu::OnExit);
    exit->setStatusTip(QStringLiteral("Quit the application"));
    RebuildRecentItems();
    connect(this, &QMenu::aboutToShow, this, &QtFileMenu::RebuildRecentItems);
}

QAction* QtFileMenu::AddCommand(const QString& caption, const QString& name,
                                void (QtFileMenu::*slot)()) {
    QAction* action = addAction(caption);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void QtFileMenu::AddStateFileItems() {
    new_ = AddCommand(QStringLiteral("&New"), QStringLiteral("new"), &QtFileMenu::OnNew);
    new_->setShortcut(QKeySequence::New);
    new_->setStatusTip(QStringLiteral("Start an untitled state file from the preset"));
    recall_ = AddCommand(QStringLiteral("&Recall State..."), QStringLiteral("recallState"),
                         &QtFileMenu::OnRecall);
    recall_->setShortcut(QKeySequence::Open);
    recall_->setStatusTip(QStringLiteral("Recall the instrument state from a file"));
    save_ =
        AddCommand(QStringLiteral("&Save State"), QStringLiteral("saveState"), &QtFileMenu::OnSave);
    save_->setShortcut(QKeySequence::Save);
    save_->setStatusTip(QStringLiteral("Save the instrument state"));
    QAction* saveAs =
        AddCommand(QStringLiteral("Save &As..."), QStringLiteral("saveAs"), &QtFileMenu::OnSaveAs);
    saveAs->setStatusTip(QStringLiteral("Save the instrument state in a new file"));
}

void QtFileMenu::AddExportAndPrintItems() {
    AddCommand(QStringLiteral("Export &Trace..."), QStringLiteral("exportTrace"),
               &QtFileMenu::OnExportTrace)
        ->setStatusTip(QStringLiteral("Write trace A to a CSV file"));
    AddCommand(QStringLiteral("Export Scr&een..."), QStringLiteral("exportScreen"),
               &QtFileMenu::OnExportScreen)
        ->setStatusTip(QStringLiteral("Save the screen as a PNG image"));
    AddCommand(QStringLiteral("Export S&pectrogram..."), QStringLiteral("exportSpectrogram"),
               &QtFileMenu::OnExportSpectrogram)
        ->setStatusTip(QStringLiteral("Write the spectrogram's sweeps to a CSV file"));
    AddCommand(QStringLiteral("Record &I/Q..."), QStringLiteral("recordIq"),
               &QtFileMenu::OnRecordIq)
        ->setStatusTip(QStringLiteral("Record the sweep's raw I/Q captures as a SigMF file"));
    printSeparator_ = addSeparator();
    print_ = AddCommand(QStringLiteral("&Print..."), QStringLiteral("print"), &QtFileMenu::OnPrint);
    print_->setShortcut(QKeySequence::Print);
    print_->setStatusTip(QStringLiteral("Print the screen"));
    AddCommand(QStringLiteral("Print Pre&view"), QStringLiteral("printPreview"),
               &QtFileMenu::OnPrintPreview)
        ->setStatusTip(QStringLiteral("Show the printed page"));
    AddCommand(QStringLiteral("P&rint Setup..."), QStringLiteral("printSetup"),
               &QtFileMenu::OnPrintSetup)
        ->setStatusTip(QStringLiteral("Choose the printer and the page"));
}

void QtFileMenu::AddSweepLogItems(QAction* start, QAction* stop) {
    insertAction(printSeparator_, start);
    insertAction(printSeparator_, stop);
}

void QtFileMenu::RebuildRecentItems() {
    for (QAction* item : recentItems_) {
        removeAction(item);
        item->deleteLater();
    }
    recentItems_.clear();
    const QStringList files = recent_.Files();
    for (int i = 0; i < files.size(); ++i) {
        const QString file = files.at(i);
        auto* item = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(file), this);
        item->setObjectName(QStringLiteral("recentFile%1").arg(i + 1));
        item->setStatusTip(QStringLiteral("Recall %1").arg(file));
        connect(item, &QAction::triggered, this, [this, file] { RecallStateFile(file); });
        insertAction(exitSeparator_, item);
        recentItems_.append(item);
    }
    recentSeparator_->setVisible(!files.isEmpty());
}

QString QtFileMenu::StartDirectory() const {
    const std::filesystem::path current = doc_.DocumentPath();
    if (current.empty()) {
        return QString();
    }
    return QFileInfo(QString::fromStdString(current.string())).absolutePath();
}

QString QtFileMenu::AskOpenFileName(const QString& title, const QString& filter) {
    QFileDialog dialog(window_, title, StartDirectory(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

QString QtFileMenu::AskSaveFileName(const QString& title, const QString& filter,
                                    const QString& suffix) {
    QFileDialog dialog(window_, title, StartDirectory(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

// --- State files ---------------------------------------------------------------------

bool QtFileMenu::RecallStateFile(const QString& path) {
    const bool loaded = doc_.LoadStateFile(ToPath(path));
    if (loaded) {
        recent_.Add(path);
    } else if (!QFileInfo::exists(path)) {
        recent_.Remove(path);  // gone: no use offering it again
    }
    RebuildRecentItems();
    return loaded;
}

bool QtFileMenu::SaveStateFile(const QString& path) {
    const bool saved = doc_.SaveStateFile(ToPath(path));
    if (saved) {
        recent_.Add(path);
        RebuildRecentItems();
    }
    return saved;
}

// A new state starts from the preset, as the window does with --preset.
void QtFileMenu::OnNew() {
    doc_.OnPreset();
    doc_.NewDocument();
    doc_.RequestRepaint();
}

void QtFileMenu::OnRecall() {
    const QString path =
        AskOpenFileName(QStringLiteral("Recall State"), QString::fromLatin1(kStateFilter));
    if (!path.isEmpty()) {
        RecallStateFile(path);
    }
}

void QtFileMenu::OnSave() {
    const std::filesystem::path current = doc_.DocumentPath();
    if (current.empty()) {
        OnSaveAs();
        return;
    }
    SaveStateFile(QString::fromStdString(current.string()));
}

void QtFileMenu::OnSaveAs() {
    const QString path = AskSaveFileName(QStringLiteral("Save State As"),
                                         QString::fromLatin1(kStateFilter), QStringLiteral("pqz"));
    if (!path.isEmpty()) {
        SaveStateFile(path);
    }
}

// --- Export ----------------------------------------------------------------------------

bool QtFileMenu::ExportTraceTo(const QString& path) {
    return ShownIfFailed(TraceExport::Write(doc_, ToPath(path)));
}

// QSaveFile writes beside the target and renames on commit, so a failed
// write leaves neither a partial image nor a damaged older one.
bool QtFileMenu::ExportScreenTo(const QString& path) {
    const QImage screen = renderScreen_ ? renderScreen_() : view_.RenderScreen();
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && screen.save(&file, "PNG") && file.commit();
    if (!written) {
        file.cancelWriting();
        const QString reason = file.errorString().isEmpty()
                                   ? QStringLiteral("the image could not be encoded")
                                   : file.errorString();
        doc_.GetPrompter().Inform(QStringLiteral("The screen could not be saved to %1: %2")
                                      .arg(path, reason)
                                      .toStdString(),
                                  kSaveFailedCaption);
    }
    return written;
}

bool QtFileMenu::ExportSpectrogramTo(const QString& path) {
    return ShownIfFailed(SpectrogramExport::Write(doc_, ToPath(path)));
}

// An export's error, when there is one, in the box of a failed save.
bool QtFileMenu::ShownIfFailed(const std::string& error) {
    if (!error.empty()) {
        doc_.GetPrompter().Inform(error, kSaveFailedCaption);
        return false;
    }
    return true;
}

void QtFileMenu::OnExportSpectrogram() {
    const QString path = AskSaveFileName(QStringLiteral("Export Spectrogram"),
                                         QString::fromLatin1(kCsvFilter), QStringLiteral("csv"));
    if (!path.isEmpty()) {
        ExportSpectrogramTo(path);
    }
}

void QtFileMenu::OnRecordIq() {
    if (iqRecording_ == nullptr) {
        iqRecording_ = new QtIqRecordingDialog(doc_, window_);
    }
    iqRecording_->show();
    iqRecording_->raise();
}

void QtFileMenu::OnExportTrace() {
    const QString path = AskSaveFileName(QStringLiteral("Export Trace"),
                                         QString::fromLatin1(kCsvFilter), QStringLiteral("csv"));
    if (!path.isEmpty()) {
        ExportTraceTo(path);
    }
}

void QtFileMenu::OnExportScreen() {
    const QString path = AskSaveFileName(QStringLiteral("Export Screen"),
                                         QString::fromLatin1(kPngFilter), QStringLiteral("png"));
    if (!path.isEmpty()) {
        ExportScreenTo(path);
    }
}

// --- Printing --------------------------------------------------------------------------

bool QtFileMenu::PrintOn(QPrinter& printer) {
    if (view_.Print(printer, printBelow_)) {
        return true;
    }
    doc_.GetPrompter().Inform("The page could not be printed.", "PRINT ERROR");
    return false;
}

void QtFileMenu::OnPrint() {
    QPrintDialog dialog(&printer_, window_);
    if (dialog.exec() == QDialog::Accepted) {
        PrintOn(printer_);
    }
}

void QtFileMenu::OnPrintPreview() {
    QPrintPreviewDialog preview(&printer_, window_);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { view_.Print(*printer, printBelow_); });
    preview.exec();
}

void QtFileMenu::OnPrintSetup() {
    QPageSetupDialog setup(&printer_, window_);
    setup.exec();
}

void QtFileMenu::OnExit() {
    window_->close();
}

}  // namespace tavlin
