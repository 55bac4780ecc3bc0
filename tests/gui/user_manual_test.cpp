// Help "User Manual": which manual.pdf is opened, and what is said when there
// is none.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/qt_user_manual.h"

namespace tavlin {
namespace {

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

TEST(UserManualTest, TheWorkingDirectoryComesFirstThenTheProgramThenTheDocumentation) {
    QTemporaryDir work;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    const QStringList folders = QtUserManual::SearchFolders();
    QDir::setCurrent(before);

    ASSERT_EQ(folders.size(), 3) << folders.join(' ').toStdString();
    EXPECT_EQ(folders.at(0), QDir(work.path()).canonicalPath());
    EXPECT_EQ(folders.at(1), QCoreApplication::applicationDirPath());
    EXPECT_TRUE(folders.at(2).endsWith(QStringLiteral("/doc/tavlin")))
        << folders.at(2).toStdString();
}

TEST(UserManualTest, TheFirstFolderHoldingTheFileWinsAndAFolderOfThatNameIsPassedOver) {
    QTemporaryDir work, program, docs;
    const QStringList folders{work.path(), program.path(), docs.path()};
    const QString name = QStringLiteral("manual.pdf");
    EXPECT_TRUE(QtUserManual::Find(folders, name).isEmpty());

    Touch(docs.filePath(name));
    EXPECT_EQ(QtUserManual::Find(folders, name), docs.filePath(name));
    Touch(program.filePath(name));
    EXPECT_EQ(QtUserManual::Find(folders, name), program.filePath(name));
    ASSERT_TRUE(QDir(work.path()).mkdir(name));
    EXPECT_EQ(QtUserManual::Find(folders, name), program.filePath(name));
}

TEST(UserManualTest, TheMessageNamesEveryFolderLookedIn) {
    const QString text = QtUserManual::NotFoundText({"/a/work", "/b/bin", "/c/doc"}, "manual.pdf");
    for (const char* expected : {"manual.pdf", "/a/work", "/b/bin", "/c/doc"}) {
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected;
    }
}

}  // namespace
}  // namespace tavlin
