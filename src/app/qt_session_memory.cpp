#include "app/qt_session_memory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cstdint>
#include <string>
#include <vector>

#include "app/qt_level_menu.h"
#include "app/qt_main_frame.h"
#include "app/qt_marker_menu.h"
#include "base/atomic_file.h"
#include "document/analyzer_document.h"
#include "document/state_file.h"
#include "ports/log.h"
#include "ports/prompter.h"
#include "view/qt_waterfall_view.h"
#include "view/waterfall_settings.h"

namespace tavlin {

namespace {

constexpr const char* kGeometryKey = "Window/Geometry";
constexpr const char* kSpectrogramKey = "Window/Spectrogram";
constexpr const char* kWaterfallShareKey = "Window/WaterfallShare";
constexpr const char* kLineHeightKey = "Spectrogram/LineHeight";
constexpr const char* kHistoryLinesKey = "Spectrogram/HistoryLines";
constexpr const char* kManualColoursKey = "Spectrogram/ManualColours";
constexpr const char* kBottomDbmKey = "Spectrogram/BottomDbm";
constexpr const char* kTopDbmKey = "Spectrogram/TopDbm";
constexpr const char* kDocumentPathKey = "Document/Path";
constexpr const char* kDocumentChangedKey = "Document/Changed";
constexpr const char* kThemeKey = "Window/Theme";

QString Key(const char* key) {
    return QString::fromLatin1(key);
}

std::filesystem::path ToPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

// A value missing or edited into something else keeps the default; the
// waterfall bounds the rest.
WaterfallSettings RestoredWaterfall(const QSettings& settings) {
    WaterfallSettings waterfall;
    waterfall.lineHeight = settings.value(Key(kLineHeightKey), waterfall.lineHeight).toInt();
    waterfall.historyLines = static_cast<std::size_t>(
        settings.value(Key(kHistoryLinesKey), static_cast<qulonglong>(waterfall.historyLines))
            .toULongLong());
    waterfall.manualColours =
        settings.value(Key(kManualColoursKey), waterfall.manualColours).toBool();
    waterfall.bottomDbm = settings.value(Key(kBottomDbmKey), waterfall.bottomDbm).toDouble();
    waterfall.topDbm = settings.value(Key(kTopDbmKey), waterfall.topDbm).toDouble();
    return waterfall;
}

void RememberWaterfall(QSettings& settings, const WaterfallSettings& waterfall) {
    settings.setValue(Key(kLineHeightKey), waterfall.lineHeight);
    settings.setValue(Key(kHistoryLinesKey), static_cast<qulonglong>(waterfall.historyLines));
    settings.setValue(Key(kManualColoursKey), waterfall.manualColours);
    settings.setValue(Key(kBottomDbmKey), waterfall.bottomDbm);
    settings.setValue(Key(kTopDbmKey), waterfall.topDbm);
}

}  // namespace

QString QtSessionMemory::SettingsFile() {
    return QSettings().fileName();
}

QString QtSessionMemory::StateFile() {
    return QFileInfo(SettingsFile()).dir().filePath(QString::fromLatin1(kStateFileName));
}

void QtSessionMemory::SetAside(const QString& path, const QString& why, Prompter& prompter) {
    const QString aside = path + QString::fromLatin1(kDamagedSuffix);
    QFile::remove(aside);
    const bool renamed = QFile::rename(path, aside);
    const QString outcome =
        renamed ? QStringLiteral("It was set aside as %1.").arg(aside)
                : QStringLiteral("It could not be set aside either and is left as it is.");
    const QString text =
        QStringLiteral("%1 could not be used: %2. %3 The window starts without it.")
            .arg(path, why, outcome);
    LogWarning("app", text.toStdString());
    prompter.Inform(text.toStdString(), kSetAsideCaption);
}

void QtSessionMemory::SetAsideDamagedSettings(Prompter& prompter) {
    const QSettings settings;
    if (settings.status() == QSettings::FormatError) {
        SetAside(settings.fileName(), QStringLiteral("its settings cannot be read"), prompter);
    }
}

// The file is decoded here first only to tell a damaged one from a good one
// without a second message: the recall itself reads and checks it again.
bool QtSessionMemory::RestoreState(AnalyzerDocument& document) {
    const QString path = StateFile();
    if (!QFileInfo::exists(path)) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(ToPath(path), kMaxStateFileBytes, bytes, error)) {
        SetAside(path, QString::fromStdString(error), document.GetPrompter());
        return false;
    }
    const StateFileDecodeResult decoded = DecodeStateFile(bytes);
    if (decoded.status == StateFileStatus::Empty) {
        return false;
    }
    if (!decoded.ok()) {
        const std::string why = decoded.message.empty() ? "not a state file" : decoded.message;
        SetAside(path, QString::fromStdString(why), document.GetPrompter());
        return false;
    }
    return document.LoadStateFile(ToPath(path), false);
}

// The state's own file name comes back only with the state it named.
QByteArray QtSessionMemory::Restore(QtMainFrame& frame, AnalyzerDocument& document) {
    const QSettings settings;
    if (RestoreState(document)) {
        document.AdoptDocumentPath(ToPath(settings.value(Key(kDocumentPathKey)).toString()),
                                   settings.value(Key(kDocumentChangedKey), true).toBool());
        // Markers 3 to 6 are not in state files: they come back beside the
        // state they were placed on.
        QtMarkerMenu::RestoreExtraMarkers(document);
    }
    frame.Waterfall().SetSettings(RestoredWaterfall(settings));
    frame.SetWaterfallShare(
        settings.value(Key(kWaterfallShareKey), frame.WaterfallShare()).toDouble());
    frame.ShowSpectrogram(settings.value(Key(kSpectrogramKey), false).toBool());
    frame.LevelMenu().Restore();
    return settings.value(Key(kGeometryKey)).toByteArray();
}

// A name this program does not know (a later version's) follows the desktop.
ThemeChoice QtSessionMemory::RememberedTheme() {
    const QString name = QSettings().value(Key(kThemeKey)).toString();
    return QtTheme::FromName(name.toStdString()).value_or(ThemeChoice::kFollowDesktop);
}

void QtSessionMemory::Remember(const QtMainFrame& frame, AnalyzerDocument& document) {
    QSettings settings;
    QDir().mkpath(QFileInfo(settings.fileName()).absolutePath());
    document.SaveStateFile(ToPath(StateFile()), false);
    QtMarkerMenu::RememberExtraMarkers(document);
    frame.LevelMenu().Remember();
    settings.setValue(Key(kGeometryKey), frame.saveGeometry());
    settings.setValue(Key(kSpectrogramKey), frame.SpectrogramShown());
    if (frame.Theme() != nullptr) {
        settings.setValue(Key(kThemeKey),
                          QString::fromStdString(QtTheme::Name(frame.Theme()->Choice())));
    }
    settings.setValue(Key(kWaterfallShareKey), frame.WaterfallShare());
    RememberWaterfall(settings, frame.Waterfall().Settings());
    settings.setValue(Key(kDocumentPathKey),
                      QString::fromStdString(document.DocumentPath().string()));
    settings.setValue(Key(kDocumentChangedKey), document.ChangedSinceSaved());
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        LogWarning("app", "the window's settings could not be written to " +
                              settings.fileName().toStdString());
    }
}

}  // namespace tavlin
