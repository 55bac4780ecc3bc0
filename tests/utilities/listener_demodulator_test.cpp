#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "utilities/listener/listener_demodulator.h"

namespace tavlin::test {
namespace {

constexpr double kWideRateHz = 486111.111 / 2;
constexpr double kNarrowRateHz = 486111.111 / 8;

ListenerTuning Tuning(bool wideIf, double deemphasisUs = 0.0, double loErrorHz = 0.0) {
    ListenerTuning t;
    t.wideIf = wideIf;
    t.deemphasisUs = deemphasisUs;
    t.processingRateHz = wideIf ? kWideRateHz : kNarrowRateHz;
    t.loErrorHz = loErrorHz;
    return t;
}

// The values of `seconds` of a carrier of amplitude 10000 at baseband
// offsetHz, AM at 1 kHz with `depth` or FM at 1 kHz with `deviationHz`.
std::vector<double> Demodulate(ListenerDemodulator& d, const ListenerTuning& t, bool fm,
                               double offsetHz, double depth, double deviationHz, double seconds) {
    const double rate = t.processingRateHz;
    std::vector<double> out;
    double phase = 0.0;
    for (int n = 0; n < static_cast<int>(seconds * rate); ++n) {
        const double tone = std::cos(2 * std::numbers::pi * 1000.0 * n / rate);
        phase += 2 * std::numbers::pi * (offsetHz + deviationHz * tone) / rate;
        const double a = 10000.0 * (1.0 + depth * tone);
        out.push_back(d.Process(a * std::cos(phase), a * std::sin(phase), fm));
    }
    return out;
}

// The extremes over the last quarter, once filters and averages have settled.
std::pair<double, double> SettledRange(const std::vector<double>& v) {
    const auto tail = v.begin() + static_cast<long>(v.size() * 3 / 4);
    const auto [lo, hi] = std::minmax_element(tail, v.end());
    return {*lo, *hi};
}

// With de-emphasis 0 the swing of a 1 kHz FM tone is its deviation in Hz on
// the wide IF, four times that on the narrow IF, clipped at 32760.
TEST(ListenerDemodulatorTest, FmReadsHzOnTheWideIfFourTimesOnTheNarrowAndClips) {
    struct Row {
        const char* name;
        bool wideIf;
        double deviationHz;
        double expected;
    };
    const std::vector<Row> rows = {
        {"wide IF: Hz", true, 3000.0, 3000.0},
        {"narrow IF: 4x", false, 3000.0, 12000.0},
        {"narrow IF, clipped", false, 9000.0, 32760.0},
    };
    for (const Row& row : rows) {
        ListenerDemodulator d;
        d.Start(Tuning(row.wideIf));
        const auto [lo, hi] =
            SettledRange(Demodulate(d, Tuning(row.wideIf), true, 0, 0, row.deviationHz, 0.05));
        EXPECT_NEAR(lo, -row.expected, 0.01 * row.expected) << row.name;
        EXPECT_NEAR(hi, row.expected, 0.01 * row.expected) << row.name;
    }
}

// The carrier sits where the LO's residual error puts it; the error term must
// take it out at the rate actually processed, on either spectrum orientation.
TEST(ListenerDemodulatorTest, LoErrorLeavesNoOffsetAtEitherRateOrOrientation) {
    for (const bool wideIf : {true, false}) {
        for (const bool mirrored : {false, true}) {
            ListenerTuning t = Tuning(wideIf, 0.0, 700.0);
            t.mirrored = mirrored;
            ListenerDemodulator d;
            d.Start(t);
            const auto [lo, hi] =
                SettledRange(Demodulate(d, t, true, mirrored ? -700.0 : 700.0, 0, 0, 0.05));
            EXPECT_NEAR(lo, 0.0, 0.5) << wideIf << mirrored;
            EXPECT_NEAR(hi, 0.0, 0.5) << wideIf << mirrored;
        }
    }
}

TEST(ListenerDemodulatorTest, AmFullDepthSwingsNear16384AndNoCarrierIsSilence) {
    ListenerDemodulator d;
    d.Start(Tuning(true));
    const auto [lo, hi] = SettledRange(Demodulate(d, Tuning(true), false, 0.0, 1.0, 0, 1.5));
    EXPECT_NEAR(lo, -16384.0, 0.03 * 16384);
    EXPECT_NEAR(hi, 16384.0, 0.03 * 16384);

    // The carrier goes: once its average has died away, silence.
    d.Start(Tuning(false));
    double last = 1.0;
    for (int n = 0; n < 200'000; ++n) {
        last = d.Process(0.0, 0.0, false);
    }
    EXPECT_EQ(last, 0.0);
}

// A ramp of FM values: with de-emphasis 0 each value passes unchanged, and
// whole values are stored, every fourth on the wide IF.
TEST(ListenerDemodulatorTest, NoDeemphasisPassesValuesAndWideIfKeepsEveryFourth) {
    for (const bool wideIf : {true, false}) {
        ListenerDemodulator reference;
        ListenerDemodulator d;
        reference.Start(Tuning(wideIf));
        d.Start(Tuning(wideIf));
        std::vector<std::int32_t> i(4096);
        std::vector<std::int32_t> q(4096);
        for (int n = 0; n < 4096; ++n) {
            const double phase = 1e-5 * n * n;
            i[n] = static_cast<std::int32_t>(20000 * std::cos(phase));
            q[n] = static_cast<std::int32_t>(20000 * std::sin(phase));
        }
        std::vector<std::int16_t> out(4096);
        const std::size_t stored = d.ProcessFetch(i, q, true, out);
        ASSERT_EQ(stored, wideIf ? 1024u : 4096u);
        const std::size_t step = wideIf ? 4 : 1;
        for (std::size_t n = 0; n < 4096; ++n) {
            const double value = reference.Process(i[n], q[n], true);
            if (n % step == step - 1) {
                ASSERT_EQ(out[n / step], static_cast<std::int16_t>(std::trunc(value))) << n;
            }
        }
    }
}

}  // namespace
}  // namespace tavlin::test
