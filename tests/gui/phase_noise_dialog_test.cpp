#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <filesystem>

#include "app/qt_prompter.h"
#include "gui_fixtures.h"

#include "support/scripted_entry_dialogs.h"
#include "support/test_directory.h"
#include "utilities/phase_noise/qt_phase_noise_dialog.h"
#include "utilities/phase_noise/qt_phase_noise_painter.h"

namespace tavlin::test {
namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kGrid = 0xFF0000C0;
constexpr QRgb kCurve = 0xFF00FF00;

// Every window reads -60 dBc/Hz: row 150 with a 1 Hz noise bandwidth.
PhaseNoiseSweeps FlatSweeps() {
    PhaseNoiseSweeps sweeps;
    for (auto& trace : sweeps.traces) {
        trace.fill(150.0);
    }
    sweeps.rbwHz.fill(1.0 / PhaseNoiseCurve::NoiseBandwidthPerRbw());
    sweeps.title = "SSB Phase Noise @ 100.00 MHz";
    return sweeps;
}

TEST(PhaseNoiseDialogTest, PlotGeometryAndTheReferenceButtons) {
    const PhaseNoiseSweeps sweeps = FlatSweeps();
    const PhaseNoiseCurve curve(sweeps);
    const QImage image = QtPhaseNoisePainter(curve, -30.0, sweeps.title).Render();
    ASSERT_EQ(image.size(), QSize(850, 620));
    EXPECT_EQ(image.pixel(5, 300), kBlack);
    EXPECT_EQ(image.pixel(100, 300), kGrid) << "1 Hz line";
    EXPECT_EQ(image.pixel(100 + 36, 300), kGrid) << "2 Hz line at trunc(120 log10 2)";
    EXPECT_EQ(image.pixel(130, 560), kGrid) << "bottom line";
    // -60 dBc/Hz is 30 dB below the top line: 150 pixels down.
    EXPECT_TRUE(image.pixel(400, 210) == kCurve || image.pixel(400, 209) == kCurve);
    EXPECT_EQ(QtPhaseNoisePainter::CurveY(-200.0, -30.0), 565) << "kept within the grid";

    ScriptedEntryDialogs entries;
    entries.titles.push_back("Oscillator A");
    QtPhaseNoiseDialog dialog(sweeps, entries);
    EXPECT_EQ(dialog.ReferenceText(), "-30 dBc/Hz");
    for (int i = 0; i < 4; ++i) {
        dialog.RaiseReference();
    }
    EXPECT_EQ(dialog.ReferenceText(), "0 dBc/Hz") << "0 is the highest reference";
    for (int i = 0; i < 15; ++i) {
        dialog.LowerReference();
    }
    EXPECT_EQ(dialog.ReferenceText(), "-150 dBc/Hz");
    dialog.AddTitle();
    EXPECT_EQ(dialog.Title(), "Oscillator A");
}

// The saved plot is the bitmap writer's, recoloured black on white with its
// blue grid; the file format and failed writes are the writer's own tests.
TEST(PhaseNoiseDialogTest, SavedPlotIsTheRecolouredBitmap) {
    const std::filesystem::path dir = MakeTestDirectory("phase-noise-plot");
    ScriptedEntryDialogs entries;
    QtPhaseNoiseDialog dialog(FlatSweeps(), entries);
    const std::filesystem::path path = dir / "PhaseNoise.bmp";
    ASSERT_EQ(dialog.SavePlotTo(path.string()), "");
    const QImage saved(QString::fromStdString(path.string()));
    EXPECT_EQ(saved.pixel(5, 300) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(saved.pixel(100, 300) & 0xFFFFFF, 0x0000C0u);
    EXPECT_EQ(saved.pixel(400, 210) & 0xFFFFFF, 0x000000u);
    std::filesystem::remove_all(dir);
}

// The menu's command returns at once; the worker's boxes and the plot come
// up on the GUI thread, whose event loop keeps turning.
TEST(PhaseNoiseDialogTest, CommandRunsOnAWorkerAndShowsThePlotUntilItCloses) {
    QtPrompter prompter;
    GuiDocument unit(prompter);
    ModalAnswerer answerer;
    QString plotTitle;
    answerer.OnDialog([&plotTitle](QDialog& dialog) {
        plotTitle = dialog.windowTitle();
        dialog.reject();
    });
    unit.Doc().SetWaitHook(prompter.WaitHook());
    ScriptedEntryDialogs entries;
    StartPhaseNoisePlot(unit.Doc(), entries, nullptr);
    EXPECT_TRUE(PhaseNoisePlotRunning());
    QElapsedTimer waited;
    waited.start();
    while (answerer.boxes.isEmpty() && waited.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // A panel command in the middle of the sweeps waits for them, then the
    // plot comes.
    unit.Doc().PauseSweep();
    unit.Doc().ResumeSweep();
    while (PhaseNoisePlotRunning() && waited.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    ASSERT_FALSE(PhaseNoisePlotRunning());
    EXPECT_EQ(answerer.boxes.size(), 2) << "the procedure's two questions";
    EXPECT_EQ(plotTitle, "Phase Noise Plot");
}

}  // namespace
}  // namespace tavlin::test
