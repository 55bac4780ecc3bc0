#include "app/qt_recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace tavlin {

namespace {

const QString kGroup = QStringLiteral("Recent File List");

QString KeyOf(int index) {
    return QStringLiteral("File%1").arg(index + 1);
}

QString Canonical(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

}  // namespace

QtRecentFiles::QtRecentFiles() {
    Load();
}

void QtRecentFiles::Add(const QString& path) {
    const QString file = Canonical(path);
    files_.removeAll(file);
    files_.prepend(file);
    while (files_.size() > kLength) {
        files_.removeLast();
    }
    Store();
}

void QtRecentFiles::Remove(const QString& path) {
    files_.removeAll(Canonical(path));
    Store();
}

void QtRecentFiles::Load() {
    QSettings settings;
    settings.beginGroup(kGroup);
    for (int i = 0; i < kLength; ++i) {
        const QString file = settings.value(KeyOf(i)).toString();
        if (!file.isEmpty() && !files_.contains(file)) {
            files_.append(file);
        }
    }
    settings.endGroup();
}

void QtRecentFiles::Store() const {
    QSettings settings;
    settings.beginGroup(kGroup);
    for (int i = 0; i < kLength; ++i) {
        if (i < files_.size()) {
            settings.setValue(KeyOf(i), files_.at(i));
        } else {
            settings.remove(KeyOf(i));
        }
    }
    settings.endGroup();
}

}  // namespace tavlin
