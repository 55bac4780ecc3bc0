#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/window.h"
#include "e2e/virtual_unit_fixture.h"
#include "utilities/console_utilities.h"
#include "utilities/phase_noise/phase_noise_curve.h"
#include "utilities/phase_noise/phase_noise_procedure.h"

namespace tavlin::test {
namespace {

class PhaseNoiseTest : public VirtualUnitTest {};

// Up to 50 kHz the narrowest window at the carrier that reaches the offset,
// above it the 200 kHz window starting at the 50 kHz step below it.
TEST(PhaseNoiseCurve, EachOffsetIsReadFromItsWindow) {
    struct Row {
        const char* name;
        double offsetHz;
        int trace;
        int point;
    };
    const std::vector<Row> rows = {
        {"1 Hz", 1.0, 0, 34},        {"100 Hz", 100.0, 1, 215},
        {"50 kHz", 50000.0, 3, 421}, {"just above 50 kHz", 50000.5, 4, 0},
        {"250 kHz", 250000.0, 8, 0}, {"1 MHz", 1e6, 19, 640},
    };
    for (const Row& row : rows) {
        const PhaseNoisePoint p = PhaseNoiseCurve::Locate(row.offsetHz);
        EXPECT_EQ(p.trace, row.trace) << row.name;
        EXPECT_EQ(p.point, row.point) << row.name;
    }
}

const std::vector<std::pair<double, double>> kProfile = {
    {100.0, -70.0}, {1e3, -85.0}, {1e4, -95.0}, {1e5, -105.0}, {1e6, -115.0}};

double ProfileAt(double offsetHz) {
    for (std::size_t i = 1; i < kProfile.size(); ++i) {
        if (offsetHz <= kProfile[i].first) {
            const auto& [x0, y0] = kProfile[i - 1];
            const auto& [x1, y1] = kProfile[i];
            return y0 + (y1 - y0) * std::log10(offsetHz / x0) / std::log10(x1 / x0);
        }
    }
    return kProfile.back().second;
}

// Each point is one reading of noise (the narrow windows' single transform
// scatters it by several dB): the curve is judged over a third of a decade
// at a time, its power against the profile's, from 100 Hz to 1 MHz, and on
// average from 1 kHz. Noise read as a tone (the strongest bin of a pixel,
// the lower of the two passes of image rejection) reads a dB low.
TEST_F(PhaseNoiseTest, CurveReadsTheEmittersProfile) {
    sim::SceneEmitter carrier = Cw(100e6 + 3.0, -10.0);
    carrier.phaseNoiseDbcHz = kProfile;
    Start({carrier}, {.noiseDbmHz = -175.0});
    doc->SetCenterSpan(100e6, 200e3);
    Edit([](InstrumentState& s) { s.refLevelDbm = 0.0; });
    PhaseNoiseSweeps kept;
    prompter.QueueAnswer(false);  // not centred: the carrier is 3 Hz off
    RunPhaseNoiseProcedure(*doc, [&kept](const PhaseNoiseSweeps& s) { kept = s; });

    EXPECT_EQ(Boxes(),
              "CAUTION: This automated utility will take about 1 minute to run.\r\n Do not try "
              "to control the Tavlin during this time.\nCENTER FREQ: Is the frequency already "
              "exactly centered?\n");
    EXPECT_NEAR(kept.carrierHz, 100e6 + 3.0, 2.0);
    EXPECT_EQ(kept.title, "SSB Phase Noise @ 100.00 MHz");
    // Back to the span and reference level from before, around the carrier.
    EXPECT_EQ(doc->Frequencies().CenterHz(), kept.carrierHz);
    EXPECT_EQ(doc->Frequencies().SpanHz(), 200e3);
    EXPECT_EQ(doc->Settings().refLevelDbm, 0.0);
    EXPECT_EQ(doc->Settings().dbPerDiv, 10.0);
    EXPECT_EQ(test::WithInstrument(*doc, [](InstrumentLease& i) { return i.Plan().windowType; }),
              kFlatTopWindow);
    const PhaseNoiseCurve curve(kept);
    const auto& points = curve.Points();
    constexpr int kFirst = 240;  // 100 Hz
    constexpr int k1kHz = 360;
    constexpr int kLast = 720;  // 1 MHz
    constexpr int kHalfWindow = 20;
    for (int j = kFirst + kHalfWindow; j <= kLast - kHalfWindow; j += 10) {
        double ratio = 0.0;
        int n = 0;
        for (int k = j - kHalfWindow; k <= j + kHalfWindow; ++k, ++n) {
            ratio += std::pow(10.0, (points[k].dbcPerHz - ProfileAt(points[k].offsetHz)) / 10.0);
        }
        EXPECT_NEAR(10.0 * std::log10(ratio / n), 0.0, 0.75)
            << "at " << points[j].offsetHz << " Hz";
    }
    double error = 0.0;
    for (int j = k1kHz; j <= kLast; ++j) {
        error += points[j].dbcPerHz - ProfileAt(points[j].offsetHz);
        EXPECT_FALSE(points[j].atFloor) << points[j].offsetHz;
    }
    EXPECT_NEAR(error / (kLast - k1kHz + 1), 0.0, 0.5) << "1 kHz to 1 MHz, on average";
}

// A unit whose own floor lies 3 dB under the carrier's noise at 1 MHz
// (-125 dBm/Hz behind 10 dB of attenuation against a -10 dBm carrier):
// the plot says where the floor is read rather than the carrier.
TEST_F(PhaseNoiseTest, CurveMarksWhereTheInstrumentsFloorIsRead) {
    sim::SceneEmitter carrier = Cw(100e6, -10.0);
    carrier.phaseNoiseDbcHz = kProfile;
    Start({carrier}, {.noiseDbmHz = -135.0});
    doc->SetCenterSpan(100e6, 200e3);
    PhaseNoiseSweeps kept;
    RunPhaseNoiseProcedure(
        *doc, [&kept](const PhaseNoiseSweeps& s) { kept = s; }, PhaseNoiseAsker::Console);
    const PhaseNoiseCurve curve(kept);
    const auto& points = curve.Points();
    EXPECT_FALSE(points[480].atFloor) << "10 kHz, 20 dB above the floor";
    EXPECT_TRUE(points[720].atFloor) << "1 MHz";
}

// The console asks nothing, prints a line per column and says which step of
// the save failed.
TEST_F(PhaseNoiseTest, ConsoleRunPrintsEveryColumnAndReportsAFailedSave) {
    Start({Cw(100e6, -10.0)});
    doc->SetCenterSpan(100e6, 200e3);
    UtilityRequest request{"phase-noise", 1, cacheDir / "no-such-folder" / "plot.bmp",
                           [](const PhaseNoiseSweeps&) { return PlotImage{}; }};
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunUtility(*doc, request, out, err), 1);
    EXPECT_EQ(Boxes(), "");
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 721);
    EXPECT_EQ(text.rfind("1.000,", 0), 0u) << text.substr(0, 40);
    EXPECT_NE(text.find("\n1000000.000,"), std::string::npos);
    EXPECT_EQ(err.str(), "tavlin-cli: the plot was not saved to " + request.out.string() +
                             " (CreateFile failed)\n");
}

}  // namespace
}  // namespace tavlin::test
