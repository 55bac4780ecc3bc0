#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>

#include "support/test_directory.h"

namespace tavlin::test {
namespace {

// The built program, run the way a user or a bug report would run it.
class ScreenshotTest : public ::testing::Test {
  protected:
    ScreenshotTest() : directory_(MakeTestDirectory("tavlin-shot")) {}
    ~ScreenshotTest() override { std::filesystem::remove_all(directory_); }

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Run Tavlin(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QString::fromStdString(directory_.string()));
        process.start(QStringLiteral(TAVLIN_GUI_PATH), arguments);
        const bool finished = process.waitForFinished(180000);
        EXPECT_TRUE(finished) << "tavlin did not end";
        if (!finished) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }
    QString PathIn(const char* name) const {
        return QString::fromStdString((directory_ / name).string());
    }

    std::filesystem::path directory_;
};

TEST_F(ScreenshotTest, WritesTheWholeWindowAfterTheCommandsAndSweeps) {
    const Run run = Tavlin({"--simulate", "--screenshot", PathIn("window.png"), "--sweeps", "2",
                            "-c", "FRE:SPA 1e6", "-c", "*IDN?"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("TAVLIN-44")) << run.out.toStdString();
    const QImage window(PathIn("window.png"));
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window.size(), QSize(950, 740));

    // A command the language does not know is reported, the picture still made.
    const Run unknown =
        Tavlin({"--simulate", "--screenshot", PathIn("second.png"), "--sweeps", "0", "-c", "XYZ"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(QFileInfo::exists(PathIn("second.png")));
}

TEST_F(ScreenshotTest, RefusesOptionsItCannotUse) {
    EXPECT_EQ(Tavlin({"--simulate", "--screenshot", PathIn("x.png"), "--sweeps", "many"}).exitCode,
              2);
    EXPECT_EQ(Tavlin({"--simulate", "--sweeps", "3"}).exitCode, 2);
    EXPECT_EQ(Tavlin({"--simulate=no-such-scene.json", "--screenshot", PathIn("x.png")}).exitCode,
              1);
    EXPECT_FALSE(QFileInfo::exists(PathIn("x.png")));
}

}  // namespace
}  // namespace tavlin::test
