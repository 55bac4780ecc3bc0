#include "app/qt_user_manual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// The installed documentation folder comes from the build (GNU install
// directories); a build that names none searches the first two places only.
#ifndef TAVLIN_DOC_DIR
#define TAVLIN_DOC_DIR ""
#endif

namespace tavlin {

QStringList QtUserManual::SearchFolders() {
    QStringList folders{QDir::currentPath(), QCoreApplication::applicationDirPath()};
    const QString docDir = QString::fromUtf8(TAVLIN_DOC_DIR);
    if (!docDir.isEmpty()) {
        folders.append(docDir);
    }
    folders.removeDuplicates();
    return folders;
}

// A folder or a dangling link of that name is passed over: the desktop's
// opener would show a file browser or an error instead of the manual.
QString QtUserManual::Find(const QStringList& folders, const QString& fileName) {
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder), fileName);
        if (candidate.isFile()) {
            return candidate.absoluteFilePath();
        }
    }
    return {};
}

QString QtUserManual::NotFoundText(const QStringList& folders, const QString& fileName) {
    QString text = QStringLiteral("The user manual (%1) was not found. Looked in:").arg(fileName);
    for (const QString& folder : folders) {
        text += QStringLiteral("\n    ") + QDir::toNativeSeparators(folder);
    }
    return text;
}

}  // namespace tavlin
