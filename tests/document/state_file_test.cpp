#include <sys/resource.h>

#include <bit>
#include <csignal>
#include <cstring>
#include <limits>

#include "document/document_fixture.h"
#include "document/state_file.h"
#include "document/trace_mode.h"

namespace tavlin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::DocumentFixture;
using enum StateFileStatus;

static_assert(std::endian::native == std::endian::little, "the file is little-endian");

// The title starts here; the fields after it are placed relative to its end.
constexpr std::size_t kTitleOffset = 18084;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

template <typename T>
T At(const Bytes& bytes, std::size_t offset) {
    T value{};
    std::memcpy(&value, &bytes.at(offset + sizeof value - 1) + 1 - sizeof value, sizeof value);
    return value;
}

template <typename T>
void Put(Bytes& bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// --- The file itself ----------------------------------------------------------------

StateRecord DistinctRecord() {
    StateRecord r;
    r.refLevelOffsetDb = -3.5;
    r.startFreqHz = 100e6;
    r.stopFreqHz = 300e6;
    r.cfStepHz = 1234.5;
    r.refLevelStepDb = 2.5;
    r.refLevelDbm = -20.0;
    r.refLevelInMv = r.linearScale = r.signalTrack = r.videoTrigger = r.zeroSpanFm = true;
    r.dbPerDiv = 5.0;
    r.attenDb = 15.0;
    r.videoAvgCount = 100;
    r.videoTrigThreshold = 12345.0;
    r.maxFmOffsetHz = 75000.0;
    for (int i = 0; i < kTracePoints; ++i) {
        r.traceA[i] = -5.0 + i * 510.0 / 640;
        r.traceAInt[i] = static_cast<std::int32_t>(r.traceA[i]);
        r.traceBRows[i] = 640 - i;
        r.traceAExtra[i] = i * 0.25;
    }
    r.traceAExtra[7] = kNaN;  // carried unread, bit for bit
    r.traceAExtra[8] = -kInf;
    r.upperLimitRows.fill(-120);  // a limit above the reference level
    r.limitLinesOn = true;
    r.syncTrigMode = 1;
    r.marker1On = r.marker2On = r.marker2Active = r.markerDelta = r.titleSet = true;
    r.title = std::string("Band \0\xFF edge", 12);
    r.maxHold = r.realtimeMode = r.counterOn = r.classicColours = r.traceBShown = true;
    r.imageReject = false;
    r.sweepTimeSec = 0.37;
    r.marker1Pos = 150e6;
    r.marker2Pos = 250e6;
    r.marker1Level = -45.25;
    r.marker2Level = -60.5;
    r.rbwHz = 6500.0;
    r.counterFreqHz = 150000012.5;
    r.spanRbwRatio = 50.0;
    r.peakFreqHint = 2e9;
    return r;
}

TEST(StateFileLayout, EveryFieldLandsAtItsOffset) {
    const StateRecord r = DistinctRecord();
    const Bytes bytes = EncodeStateFile(r);
    const std::size_t a = kTitleOffset + 13;  // after the 12-character title
    ASSERT_EQ(bytes.size(), a + 96);
    const std::pair<std::size_t, double> doubles[] = {
        {4, r.refLevelOffsetDb},  {12, r.startFreqHz},       {20, r.stopFreqHz},
        {28, r.cfStepHz},         {36, r.refLevelStepDb},    {44, r.refLevelDbm},
        {56, r.dbPerDiv},         {64, r.attenDb},           {84, r.videoTrigThreshold},
        {100, r.maxFmOffsetHz},   {7804, r.traceA[0]},       {7804 + 8 * 640, r.traceA[640]},
        {12932 + 24, 0.75},       {a + 12, r.sweepTimeSec},  {a + 20, r.marker1Pos},
        {a + 28, r.marker2Pos},   {a + 36, r.marker1Level},  {a + 44, r.marker2Level},
        {a + 52, r.rbwHz},        {a + 60, r.counterFreqHz}, {a + 72, r.spanRbwRatio},
        {a + 80, r.peakFreqHint},
    };
    for (const auto& [offset, value] : doubles) {
        EXPECT_EQ(At<double>(bytes, offset), value) << "double at " << offset;
    }
    const std::pair<std::size_t, std::int32_t> words[] = {
        {0, 1},
        {80, 100},
        {108, r.traceAInt[0]},
        {108 + 4 * 640, r.traceAInt[640]},
        {2672 + 40, r.traceBRows[10]},
        {5236 + 4 * 640, -120},
        {18060, 1},
        {a + 4, 0},  // imageReject off
    };
    for (const auto& [offset, value] : words) {
        EXPECT_EQ(At<std::int32_t>(bytes, offset), value) << "word at " << offset;
    }
    const std::size_t flags[] = {52,    72,    76,    92, 96,    7800,   18064,  18068,
                                 18072, 18076, 18080, a,  a + 8, a + 68, a + 88, a + 92};
    for (const std::size_t flag : flags) {
        EXPECT_EQ(At<std::int32_t>(bytes, flag), 1) << "flag at " << flag;
    }
    EXPECT_EQ(std::memcmp(&bytes[12932 + 56], &r.traceAExtra[7], 16), 0);
    ASSERT_EQ(bytes[kTitleOffset], 12);
    EXPECT_EQ(std::memcmp(&bytes[kTitleOffset + 1], r.title.data(), 12), 0);
    EXPECT_EQ(EncodeStateFile(StateRecord{}).size(), kStateFileLengthNoTitle);
    // Read back from the same offsets, nothing adjusted.
    const StateFileDecodeResult back = DecodeStateFile(bytes);
    ASSERT_TRUE(back.ok()) << back.message;
    EXPECT_TRUE(back.adjustments.empty());
    EXPECT_EQ(EncodeStateFile(back.record), bytes);
}

TEST(StateFileLayout, TitleUsesTheShortestLengthPrefix) {
    // Prefix lengths 1, 3 and 7 bytes, with their boundaries.
    const std::pair<std::size_t, std::size_t> cases[] = {
        {254, 1}, {255, 3}, {65533, 3}, {65534, 7}};
    for (const auto& [count, prefix] : cases) {
        StateRecord r;
        r.title.assign(count, 'y');
        const Bytes bytes = EncodeStateFile(r);
        ASSERT_EQ(bytes.size(), 18180u + prefix + count) << count;
        EXPECT_EQ(bytes[kTitleOffset], prefix == 1 ? count : 255) << count;
        if (prefix == 3) {
            EXPECT_EQ(At<std::uint16_t>(bytes, kTitleOffset + 1), count);
        } else if (prefix == 7) {
            EXPECT_EQ(At<std::uint16_t>(bytes, kTitleOffset + 1), 0xFFFF);
            EXPECT_EQ(At<std::uint32_t>(bytes, kTitleOffset + 3), count);
        }
        EXPECT_TRUE(DecodeStateFile(bytes).record == r) << count;
    }
}

TEST(StateFileRecognition, EveryShortFileIsTruncated) {
    StateRecord titled;
    titled.title.assign(300, 't');
    const std::pair<StateRecord, std::size_t> files[] = {{StateRecord{}, 1},
                                                         {titled, kTitleOffset - 4}};
    for (const auto& [record, from] : files) {
        const Bytes full = EncodeStateFile(record);
        for (std::size_t length = from; length < full.size(); ++length) {
            const StateFileDecodeResult result =
                DecodeStateFile(std::span<const std::uint8_t>(full.data(), length));
            ASSERT_EQ(result.status, Truncated) << length;
            ASSERT_FALSE(result.message.empty());
        }
    }
}

// Values out of range are brought in by the rule of the command that sets
// them, and the load notes each: start above stop folds onto the centre (zero
// span, whose time is kept to the dialog's 0.5 ms .. 2 s), and rows are kept
// near the screen, far enough from integer overflow.
TEST(StateFileRanges, ValuesTakeTheCommandsOwnRule) {
    constexpr std::int32_t kLowest = std::numeric_limits<std::int32_t>::min();
    StateRecord r;
    r.attenDb = 12.5;
    r.maxFmOffsetHz = 200e3;
    r.spanRbwRatio = 0.0;
    r.videoAvgCount = kLowest;
    r.startFreqHz = 300e6;
    r.stopFreqHz = 100e6;
    r.traceA[640] = 1e300;
    r.traceAInt[5] = kLowest;
    r.upperLimitRows.fill(kLowest);
    const StateFileDecodeResult result = DecodeStateFile(EncodeStateFile(r));
    EXPECT_EQ(result.adjustments.size(), 10u);
    EXPECT_EQ(result.record.attenDb, 15.0);
    EXPECT_EQ(result.record.maxFmOffsetHz, 100e3);
    EXPECT_EQ(result.record.spanRbwRatio, 80.0);
    EXPECT_EQ(result.record.videoAvgCount, 1);
    EXPECT_EQ(result.record.startFreqHz, 200e6);
    EXPECT_EQ(result.record.stopFreqHz, 200e6);
    EXPECT_EQ(result.record.sweepTimeSec, 2.0);
    EXPECT_EQ(result.record.traceA[640], 505.0);
    EXPECT_EQ(result.record.traceAInt[5], -5);
    EXPECT_EQ(result.record.upperLimitRows[640], -kLimitRowGuard);
}

// --- The document's recall and save --------------------------------------------

class DocumentStateFileTest : public DocumentFixture {
  protected:
    void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    // A few settings away from preset, so a load visibly changes something.
    void ChangeSettings(AnalyzerDocument& d) {
        d.SetCenterSpan(100e6, 2e6);
        d.EditSettings([&](InstrumentState& s) { s.refLevelDbm = -30.0; });
    }
};

// A recall applies the level plan, keeps the offset, preamp and detector; the
// automation's copies leave the name alone.
TEST_F(DocumentStateFileTest, RecallKeepsTheOffsetAndPreampAndAppliesTheLevelPlan) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto path = cacheDir / "mine.pqz";
    ASSERT_TRUE(d.SaveStateFile(path));
    StateRecord hot;
    hot.attenDb = 0.0;
    hot.refLevelDbm = 10.0;
    hot.maxHold = true;
    WriteBytes(cacheDir / "hot.pqz", EncodeStateFile(hot));
    d.EditSettings([&](InstrumentState& s) { s.freqOffsetHz = 70e6; });
    d.EditSettings([&](InstrumentState& s) { s.preampOn = true; });
    d.EditSettings([&](InstrumentState& s) { s.detector = Detector::kRms; });
    ASSERT_TRUE(d.LoadStateFile(cacheDir / "hot.pqz", false));
    ASSERT_TRUE(d.SaveStateFile(cacheDir / "copy.pqz", false));
    EXPECT_EQ(d.Settings().refLevelDbm, 10.0);
    EXPECT_EQ(d.Settings().attenDb, 10.0) << "the level plan raises the attenuator";
    EXPECT_EQ(d.Settings().freqOffsetHz, 70e6);
    EXPECT_TRUE(d.Settings().preampOn);
    EXPECT_EQ(d.Settings().detector, Detector::kRms);
    EXPECT_EQ(d.DocumentPath(), path);
}

// A file holds max hold only: min hold and the power average chosen stay, the
// average's count too, but the average starts afresh from the next sweep:
// the sweeps it summed before the recall are not the recalled trace's.
TEST_F(DocumentStateFileTest, RecallKeepsTheTraceModesFilesDoNotHoldAndRestartsTheAverage) {
    struct Row {
        const char* name;
        TraceMode saved, chosen, recalled;
    };
    const Row rows[] = {
        {"min hold is not in the file", TraceMode::kMinHold, TraceMode::kWrite, TraceMode::kWrite},
        {"min hold chosen stays", TraceMode::kAverage, TraceMode::kMinHold, TraceMode::kMinHold},
        {"the average chosen stays", TraceMode::kMinHold, TraceMode::kAverage, TraceMode::kAverage},
        // held both ways, rows would never change
        {"the file's max hold ends min hold", TraceMode::kMaxHold, TraceMode::kMinHold,
         TraceMode::kMaxHold},
    };
    AnalyzerDocument& d = BuildWithInstrument();
    const auto path = cacheDir / "mode.pqz";
    for (const Row& row : rows) {
        d.EditSettings([&](InstrumentState& s) { SetTraceMode(s, row.saved, 20); });
        ASSERT_TRUE(d.SaveStateFile(path, false)) << row.name;
        d.EditSettings([&](InstrumentState& s) {
            SetTraceMode(s, row.chosen, 20);
            s.powerAvgIndex = 7;
        });
        ASSERT_TRUE(d.LoadStateFile(path, false)) << row.name;
        EXPECT_EQ(TraceModeOf(d.Settings()), row.recalled) << row.name;
        EXPECT_EQ(d.Settings().powerAvgCount, row.recalled == TraceMode::kAverage ? 20 : 1)
            << row.name;
        EXPECT_EQ(d.Settings().powerAvgIndex, 0) << row.name;
    }
}

// The file is read whole and checked before anything changes: a bad one shows
// why (naming the field), changes nothing and is not adopted, so a later Save
// does not overwrite it.
TEST_F(DocumentStateFileTest, BadFilesChangeNothingAndShowWhy) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto good = cacheDir / "good.pqz";
    ASSERT_TRUE(d.SaveStateFile(good));
    const Bytes preset = EncodeStateFile(StateRecord{});
    const std::size_t a = kTitleOffset + 1;  // after the empty title
    const auto spoilt = [&preset](std::size_t offset, auto value) {
        Bytes bytes = preset;
        Put(bytes, offset, value);
        return bytes;
    };
    Bytes titleBeyond(preset.begin(), preset.begin() + kTitleOffset);
    titleBeyond.insert(titleBeyond.end(), {255, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'});
    Bytes reservedCount(preset.begin(), preset.begin() + kTitleOffset);
    reservedCount.insert(reservedCount.end(), {255, 0xFE, 0xFF});
    reservedCount.resize(reservedCount.size() + 70000);
    const struct {
        const char* name;
        Bytes bytes;
        const char* text;  // a part of the message
    } rows[] = {
        {"version 2", spoilt(0, std::int32_t{2}), "FILE NOT RECOGNIZED"},
        {"ends in trace A", Bytes(preset.begin(), preset.begin() + 9000), "traceA"},
        {"title count beyond the file", titleBeyond, "4294967295"},
        {"reserved title count", reservedCount, "title"},
        {"NaN start", spoilt(12, kNaN), "startFreqHz"},
        {"NaN trace point", spoilt(7804 + 8 * 17, kNaN), "traceA point 17"},
        {"infinite sweep time", spoilt(a + 12, kInf), "sweepTimeSec"},
        {"zero dB per division", spoilt(56, 0.0), "dbPerDiv"},
        {"sync mode 7", spoilt(18060, std::int32_t{7}), "syncTrigMode"},
        {"zero RBW", spoilt(a + 52, 0.0), "rbwHz"},
    };
    for (const auto& row : rows) {
        ChangeSettings(d);
        prompter.Clear();
        const auto path = cacheDir / row.name;
        WriteBytes(path, row.bytes);
        EXPECT_FALSE(d.LoadStateFile(path)) << row.name;
        EXPECT_EQ(d.Frequencies().CenterHz(), 100e6) << row.name << ": not even the early fields";
        EXPECT_EQ(d.Settings().refLevelDbm, -30.0) << row.name;
        EXPECT_EQ(d.DocumentPath(), good) << row.name;
        ASSERT_EQ(prompter.Count(), 1u) << row.name;
        EXPECT_EQ(prompter.Boxes()[0].caption, "UNABLE TO OPEN") << row.name;
        EXPECT_NE(prompter.Boxes()[0].text.find(row.text), std::string::npos)
            << row.name << ": " << prompter.Boxes()[0].text;
        EXPECT_NE(prompter.Boxes()[0].text.find(row.name), std::string::npos) << "names the file";
    }
}

// Finite but absurd values are brought to the nearest value the setting can
// mean; the load succeeds, and one message lists every change.
TEST_F(DocumentStateFileTest, AbsurdValuesAreClampedAndListedInOneMessage) {
    AnalyzerDocument& d = BuildWithInstrument();
    const struct {
        const char* field;
        double StateRecord::*member;
        double absurd;
        double clamped;
    } rows[] = {
        {"refLevelDbm", &StateRecord::refLevelDbm, 1e300, 100.0},
        {"refLevelOffsetDb", &StateRecord::refLevelOffsetDb, -1e300, -200.0},
        {"refLevelStepDb", &StateRecord::refLevelStepDb, 1e12, 100.0},
        {"dbPerDiv", &StateRecord::dbPerDiv, 1e300, 100.0},
        {"cfStepHz", &StateRecord::cfStepHz, -1e300, -4.4e9},
        {"rbwHz", &StateRecord::rbwHz, 1e300, 4.4e9},
        {"marker2Pos", &StateRecord::marker2Pos, 1e300, 4.4e9},
        {"marker1Level", &StateRecord::marker1Level, -1e300, -1e6},
    };
    StateRecord absurd;
    for (const auto& row : rows) {
        absurd.*row.member = row.absurd;
    }
    const StateFileDecodeResult decoded = DecodeStateFile(EncodeStateFile(absurd));
    WriteBytes(cacheDir / "absurd.pqz", EncodeStateFile(absurd));
    prompter.Clear();
    ASSERT_TRUE(d.LoadStateFile(cacheDir / "absurd.pqz"));
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "SETTINGS ADJUSTED");
    for (const auto& row : rows) {
        EXPECT_EQ(decoded.record.*row.member, row.clamped) << row.field;
        EXPECT_NE(prompter.Boxes()[0].text.find(std::string(row.field) + " "), std::string::npos)
            << row.field << ": " << prompter.Boxes()[0].text;
    }
    EXPECT_EQ(d.Settings().refLevelDbm, 100.0);
    EXPECT_EQ(d.Settings().dbPerDiv, 100.0);
}

// A disk that fills up half-way through the save (the file-size limit makes
// the write fail even for root), and a folder in the file's place.
TEST_F(DocumentStateFileTest, FailedSavesKeepTheOldFileAndLeaveNoTemporary) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto path = cacheDir / "keep.pqz";
    ASSERT_TRUE(d.SaveStateFile(path));
    const auto before = test::ReadFileBytes(path);
    ChangeSettings(d);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = d.SaveStateFile(path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(test::ReadFileBytes(path), before);

    const auto folder = cacheDir / "a folder";
    std::filesystem::create_directories(folder / "inside");
    EXPECT_FALSE(d.SaveStateFile(folder));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "inside"));

    ASSERT_EQ(prompter.Count(), 2u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "UNABLE TO SAVE");
    EXPECT_EQ(prompter.Boxes()[1].caption, "UNABLE TO SAVE");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cacheDir),
                            std::filesystem::directory_iterator()),
              3)
        << "only the old file, the folder and the calibration cache remain";
}

}  // namespace
}  // namespace tavlin
