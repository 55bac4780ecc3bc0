#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "dsp/fft.h"
#include "e2e/virtual_unit_fixture.h"
#include "utilities/console_utilities.h"
#include "utilities/listener/audio_listener.h"
#include "utilities/sound/alsa_audio_sink.h"
#include "utilities/utility_session.h"

namespace tavlin::test {
namespace {

constexpr double kCarrierHz = 433.92e6;
constexpr double kValueRateHz = 60764.0;  // the mono stream inside the stereo frames
constexpr std::size_t kAnalysed = 32768;

std::uint32_t Le(const std::vector<char>& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
    }
    return v;
}

// The samples of a WAV file the listener wrote, after checking its header.
std::vector<std::int16_t> ReadWav(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> b((std::istreambuf_iterator<char>(in)), {});
    EXPECT_GE(b.size(), 44u);
    if (b.size() < 44) {
        return {};
    }
    EXPECT_EQ(std::string(b.data(), 4) + std::string(&b[8], 8), "RIFFWAVEfmt ");
    EXPECT_EQ(Le(b, 4, 4), b.size() - 8);
    EXPECT_EQ(Le(b, 16, 4), 16u);
    EXPECT_EQ(Le(b, 20, 2), 1u);       // PCM
    EXPECT_EQ(Le(b, 22, 2), 2u);       // stereo
    EXPECT_EQ(Le(b, 24, 4), 30382u);   // frames per second
    EXPECT_EQ(Le(b, 28, 4), 121528u);  // bytes per second
    EXPECT_EQ(Le(b, 32, 2), 4u);
    EXPECT_EQ(Le(b, 34, 2), 16u);
    EXPECT_EQ(std::string(&b[36], 4), "data");
    EXPECT_EQ(Le(b, 40, 4), b.size() - 44);
    std::vector<std::int16_t> samples((b.size() - 44) / 2);
    std::memcpy(samples.data(), &b[44], samples.size() * 2);  // little-endian host
    return samples;
}

struct Tone {
    double freqHz = 0.0;
    double amplitude = 0.0;
};

// The strongest tone above 100 Hz in the last kAnalysed values (Hann window,
// the tone's power summed over the bins around its peak).
Tone StrongestTone(const std::vector<std::int16_t>& values) {
    std::vector<double> re(kAnalysed);
    std::vector<double> im(kAnalysed, 0.0);
    const std::size_t first = values.size() - kAnalysed;
    for (std::size_t n = 0; n < kAnalysed; ++n) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / kAnalysed);
        re[n] = values[first + n] * w;
    }
    Fft(kAnalysed).Forward(re, im, re, im);
    const double binHz = kValueRateHz / kAnalysed;
    std::size_t peak = static_cast<std::size_t>(100.0 / binHz);
    for (std::size_t k = peak; k < kAnalysed / 2; ++k) {
        if (std::hypot(re[k], im[k]) > std::hypot(re[peak], im[peak])) {
            peak = k;
        }
    }
    double power = 0.0;
    for (std::size_t k = peak - 3; k <= peak + 3; ++k) {
        power += re[k] * re[k] + im[k] * im[k];
    }
    return {peak * binHz, std::sqrt(power * 32.0 / 3.0)};  // Hann keeps 3/32 of A^2 per side
}

class AudioListenerTest : public VirtualUnitTest {
  protected:
    std::filesystem::path wav = cacheDir / "sound.wav";

    std::vector<std::int16_t> Record(const sim::SceneEmitter& emitter, bool fm, bool wideIf,
                                     double deemphasisUs) {
        Start({emitter});
        doc->SetCenterSpan(emitter.freqHz, 200e3);
        Sweep();
        UtilityRequest request;
        request.name = "listen";
        request.out = wav;
        request.seconds = 1.0;
        request.fm = fm;
        request.wideIf = wideIf;
        request.deemphasisUs = deemphasisUs;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunUtility(*doc, request, out, err), 0) << err.str();
        EXPECT_FALSE(std::filesystem::exists(wav.string() + ".partial"));
        return ReadWav(wav);
    }
};

TEST_F(AudioListenerTest, RecordingHoldsTheModulatingToneAtItsFrequencyAndLevel) {
    struct Row {
        const char* name;
        bool fm;
        bool wideIf;
        double rateHz;
        double expectedAmplitude;  // FM: Hz on the wide IF; AM: 16384 at 100 %
    };
    const std::vector<Row> rows = {
        {"FM, 120 KHz IF", true, true, 1000.0, 3000.0},
        {"FM, 30 KHz IF", true, false, 1500.0, 4 * 3000.0},
        {"AM, 30 KHz IF", false, false, 700.0, 0.5 * 16384},
        {"AM, 120 KHz IF", false, true, 2200.0, 0.5 * 16384},
    };
    for (const Row& row : rows) {
        sim::SceneEmitter e = Cw(kCarrierHz, -40.0);
        if (row.fm) {
            e.fm = sim::SceneFm{row.rateHz, 3000.0};
        } else {
            e.am = sim::SceneAm{row.rateHz, 0.5};
        }
        const std::vector<std::int16_t> values = Record(e, row.fm, row.wideIf, 0.0);
        ASSERT_EQ(values.size(), 60764u) << row.name;  // one second
        const Tone tone = StrongestTone(values);
        EXPECT_NEAR(tone.freqHz, row.rateHz, kValueRateHz / kAnalysed) << row.name;
        EXPECT_NEAR(tone.amplitude, row.expectedAmplitude, 0.05 * row.expectedAmplitude)
            << row.name;
    }
}

// De-emphasis is a first-order low pass of time constant tau: a tone at f
// comes out 1 / sqrt(1 + (2 pi f tau)^2) as loud as without it. The two
// recordings differ only in tau, so the channel filter and the level reading
// cancel; the sampled filter departs from that curve by under 0.05 dB at 3 kHz
// on the 243 kHz stream and the tone stands 60 dB above the noise, so 0.3 dB
// leaves room for the reading alone.
TEST_F(AudioListenerTest, DeemphasisLowersAToneAsAFirstOrderLowPass) {
    sim::SceneEmitter e = Cw(kCarrierHz, -40.0);
    e.fm = sim::SceneFm{3000.0, 2000.0};
    const double flat = StrongestTone(Record(e, true, true, 0.0)).amplitude;
    for (const double tauUs : {50.0, 125.0}) {
        const double shaped = StrongestTone(Record(e, true, true, tauUs)).amplitude;
        const double wt = 2 * std::numbers::pi * 3000.0 * tauUs * 1e-6;
        EXPECT_NEAR(20 * std::log10(shaped / flat), -10 * std::log10(1 + wt * wt), 0.3) << tauUs;
    }
}

TEST_F(AudioListenerTest, RefusedRecordingsSayWhyAndLeaveNoFile) {
    Start({Cw(kCarrierHz, -40.0)});
    doc->SetCenterSpan(kCarrierHz, 200e3);
    struct Row {
        const char* name;
        std::filesystem::path out;
        double seconds;
        double deemphasisUs;
    };
    const std::vector<Row> rows = {
        {"no such folder", cacheDir / "none" / "x.wav", 1.0, 0.0},
        {"no file", "", 1.0, 0.0},
        {"no time", cacheDir / "x.wav", 0.0, 0.0},
        {"de-emphasis beyond 1001 us", cacheDir / "x.wav", 1.0, 1001.5},
    };
    for (const Row& row : rows) {
        UtilityRequest request;
        request.name = "listen";
        request.out = row.out;
        request.seconds = row.seconds;
        request.deemphasisUs = row.deemphasisUs;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunUtility(*doc, request, out, err), 1) << row.name;
        EXPECT_FALSE(err.str().empty()) << row.name;
        EXPECT_FALSE(std::filesystem::exists(row.out)) << row.name;
    }
    EXPECT_EQ(driver->StreamStarts(), 0);
}

// Keeps what it is given, or takes nothing until a stop comes.
class TestSink final : public AudioSink {
  public:
    bool stall = false;

    bool Open(const AudioFormat&) override {
        ClearStop();
        return true;
    }
    WriteResult Write(std::span<const std::int16_t> samples, std::chrono::milliseconds) override {
        if (stall) {
            while (!StopRequested()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return WriteResult::Stopped;
        }
        std::lock_guard lock(mutex);
        values.insert(values.end(), samples.begin(), samples.end());
        return WriteResult::Written;
    }
    bool Close() override { return true; }
    std::string Error() const override { return ""; }

    std::mutex mutex;
    std::vector<std::int16_t> values;
};

TEST_F(AudioListenerTest, StreamStartsOnceAndEndsOnceAndStopEndsEveryWait) {
    Start({Cw(kCarrierHz, -40.0)});
    UtilitySession session(*doc);
    TestSink sink;
    sink.stall = true;  // the ring fills up and the audio thread waits for a free block
    AudioListener listener(session.Instrument(), sink);
    ASSERT_TRUE(listener.Start({kCarrierHz, true, false, 125.0}));
    while (driver->blocksRead.load() < AudioListener::kRingBlocks) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto before = std::chrono::steady_clock::now();
    listener.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    EXPECT_FALSE(listener.Playing());
    EXPECT_EQ(driver->StreamStarts(), 1);
    EXPECT_EQ(driver->Count([](const auto& f) { return f == std::vector<std::uint8_t>{'3'}; }), 1);
    EXPECT_EQ(listener.Failure(), "");
}

TEST_F(AudioListenerTest, AmFmSwitchTakesEffectWithoutANewStream) {
    sim::SceneEmitter e = Cw(kCarrierHz, -40.0);
    e.fm = sim::SceneFm{1000.0, 3000.0};
    Start({e});
    UtilitySession session(*doc);
    TestSink sink;
    AudioListener listener(session.Instrument(), sink);
    ASSERT_TRUE(listener.Start({kCarrierHz, true, true, 0.0}));
    ASSERT_TRUE(listener.WaitForValues(kAnalysed * 2, std::chrono::seconds(30)));
    listener.SetFm(false);
    const std::int64_t switched = listener.ValuesWritten() + 2 * AudioListener::kBlockValues;
    ASSERT_TRUE(listener.WaitForValues(switched + kAnalysed, std::chrono::seconds(30)));
    listener.Stop();
    std::lock_guard lock(sink.mutex);
    const std::vector<std::int16_t> fm(sink.values.begin(), sink.values.begin() + kAnalysed * 2);
    const std::vector<std::int16_t> am(sink.values.begin() + switched,
                                       sink.values.begin() + switched + kAnalysed);
    EXPECT_NEAR(StrongestTone(fm).amplitude, 3000.0, 150.0);
    EXPECT_LT(StrongestTone(am).amplitude, 150.0);  // an FM carrier's envelope is flat
    EXPECT_EQ(driver->StreamStarts(), 1);
}

// No sound card (or none by that name): "Error 7", nothing sent to the
// instrument, and STOP returns at once. ALSA's "null" device takes the sound
// like a card that plays at once.
TEST_F(AudioListenerTest, SoundCardThatCannotOpenIsError7AndOneThatCanPlays) {
    Start({Cw(kCarrierHz, -40.0)});
    UtilitySession session(*doc);
    AlsaAudioSink missing("tavlin_no_such_sound_device");
    AudioListener refused(session.Instrument(), missing);
    EXPECT_FALSE(refused.Start({}));
    EXPECT_EQ(Boxes(), "ERROR 7: Error 7: opening sound card failed\n");
    refused.Stop();
    EXPECT_FALSE(refused.Playing());
    EXPECT_EQ(driver->StreamStarts(), 0);

    AlsaAudioSink null("null");
    AudioListener playing(session.Instrument(), null);
    ASSERT_TRUE(playing.Start({kCarrierHz, true, true, 125.0}));
    EXPECT_TRUE(playing.WaitForValues(10 * AudioListener::kBlockValues, std::chrono::seconds(30)));
    playing.Stop();
    EXPECT_EQ(playing.Failure(), "");
    EXPECT_EQ(driver->StreamStarts(), 1);
}

}  // namespace
}  // namespace tavlin::test
