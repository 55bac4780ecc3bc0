#pragma once

#include <QString>
#include <QStringList>

namespace tavlin {

// Where Help "User Manual" finds manual.pdf: the working directory first (a
// build folder, or a copy kept beside the user's state files), then the
// program's own folder, then the installed documentation folder.
class QtUserManual {
  public:
    // The folders in the order they are searched; the documentation folder
    // is left out when the program was built without one.
    static QStringList SearchFolders();
    // The first regular file of that name in the folders, or an empty string.
    static QString Find(const QStringList& folders, const QString& fileName);
    // The message that names every folder looked in.
    static QString NotFoundText(const QStringList& folders, const QString& fileName);
};

}  // namespace tavlin
