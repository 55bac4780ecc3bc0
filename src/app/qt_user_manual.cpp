#include "app/qt_user_manual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tavlin {

namespace {

// The installed documentation folder as the build names it from the
// program's folder (GNU install directories: ../share/doc/tavlin).
constexpr const char* kDocFromProgram = TAVLIN_DOC_FROM_BIN;

}  // namespace

QStringList QtUserManual::SearchFolders() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    QStringList folders{QDir::currentPath(), programFolder};
    folders.append(
        QDir::cleanPath(programFolder + QLatin1Char('/') + QString::fromUtf8(kDocFromProgram)));
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
