#pragma once

#include <QString>
#include <QStringList>

namespace tavlin {

// The File menu's list of the last four state files, newest first, kept in
// the program's settings ("Recent File List", "File1" .. "File4").
class QtRecentFiles {
  public:
    static constexpr int kLength = 4;

    QtRecentFiles();

    QStringList Files() const { return files_; }
    // Puts a file at the top (moving it up when listed already).
    void Add(const QString& path);
    void Remove(const QString& path);

  private:
    void Load();
    void Store() const;

    QStringList files_;
};

}  // namespace tavlin
