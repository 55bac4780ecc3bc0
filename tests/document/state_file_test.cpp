#include "document/state_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace tavlin {
namespace {

// Offsets of the fields before the title, and of those after it relative to
// the end of the title.
constexpr std::size_t kTitleOffset = 18084;
constexpr std::size_t kMaxHoldAfterTitle = 0;
constexpr std::size_t kImageRejectAfterTitle = 4;
constexpr std::size_t kSweepTimeAfterTitle = 12;
constexpr std::size_t kRbwAfterTitle = 52;
constexpr std::size_t kRatioAfterTitle = 72;
constexpr std::size_t kPeakHintAfterTitle = 80;
constexpr std::size_t kTraceBShownAfterTitle = 92;

std::int32_t I32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes.at(offset + i)) << (8 * i);
    }
    return static_cast<std::int32_t>(value);
}

double DoubleAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(bytes.at(offset + i)) << (8 * i);
    }
    return std::bit_cast<double>(value);
}

void PutI32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::int32_t value) {
    const auto raw = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        bytes.at(offset + i) = static_cast<std::uint8_t>(raw >> (8 * i));
    }
}

void PutDouble(std::vector<std::uint8_t>& bytes, std::size_t offset, double value) {
    const auto raw = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        bytes.at(offset + i) = static_cast<std::uint8_t>(raw >> (8 * i));
    }
}

StateFileDecodeResult DecodeBytes(const std::vector<std::uint8_t>& bytes) {
    return DecodeStateFile(std::span<const std::uint8_t>(bytes));
}

// A record in which every field differs from its preset value and stays legal.
StateRecord DistinctRecord() {
    StateRecord r;
    r.refLevelOffsetDb = -3.5;
    r.startFreqHz = 100e6;
    r.stopFreqHz = 300e6;
    r.cfStepHz = 1234.5;
    r.refLevelStepDb = 2.5;
    r.refLevelDbm = -20.0;
    r.refLevelInMv = true;
    r.dbPerDiv = 5.0;
    r.attenDb = 15.0;
    r.linearScale = true;
    r.signalTrack = true;
    r.videoAvgCount = 100;
    r.videoTrigThreshold = 12345.0;
    r.videoTrigger = true;
    r.zeroSpanFm = true;
    r.maxFmOffsetHz = 75000.0;
    for (int i = 0; i < kTracePoints; ++i) {
        r.traceA[i] = -5.0 + i * 510.0 / 640;
        r.traceAInt[i] = static_cast<std::int32_t>(r.traceA[i]);
        r.traceBRows[i] = 640 - i;
        r.traceAExtra[i] = i * 0.25;
    }
    r.upperLimitRows.fill(-120);  // a limit above the reference level
    r.limitLinesOn = true;
    r.syncTrigMode = 1;
    r.marker1On = r.marker2On = r.marker2Active = r.markerDelta = true;
    r.titleSet = true;
    r.title = std::string("Band \0\xFF edge", 12);
    r.maxHold = true;
    r.imageReject = false;
    r.realtimeMode = true;
    r.sweepTimeSec = 0.37;
    r.marker1Pos = 150e6;
    r.marker2Pos = 250e6;
    r.marker1Level = -45.25;
    r.marker2Level = -60.5;
    r.rbwHz = 6500.0;
    r.counterFreqHz = 150000012.5;
    r.counterOn = true;
    r.spanRbwRatio = 50.0;
    r.peakFreqHint = 2e9;
    r.classicColours = true;
    r.traceBShown = true;
    return r;
}

TEST(StateFileLayout, PresetRecordHasTheDocumentedBytes) {
    const std::vector<std::uint8_t> bytes = EncodeStateFile(StateRecord{});
    ASSERT_EQ(bytes.size(), 18181u);
    EXPECT_EQ(I32At(bytes, 0), 1);
    EXPECT_EQ(DoubleAt(bytes, 4), 0.0);
    EXPECT_EQ(DoubleAt(bytes, 12), 902000000.0);
    EXPECT_EQ(DoubleAt(bytes, 20), 928000000.0);
    EXPECT_EQ(DoubleAt(bytes, 28), 10000000.0);
    EXPECT_EQ(DoubleAt(bytes, 56), 10.0);     // dB/div
    EXPECT_EQ(DoubleAt(bytes, 64), 10.0);     // attenuation
    EXPECT_EQ(I32At(bytes, 80), 1);           // video averaging
    EXPECT_EQ(I32At(bytes, 108), 500);        // traceAInt[0]
    EXPECT_EQ(I32At(bytes, 2668), 500);       // traceAInt[640]
    EXPECT_EQ(I32At(bytes, 5236), 0);         // upper limit
    EXPECT_EQ(DoubleAt(bytes, 7804), 500.0);  // traceA[0]
    EXPECT_EQ(bytes[kTitleOffset], 0);        // empty title
    const std::size_t after = kTitleOffset + 1;
    EXPECT_EQ(I32At(bytes, after + kImageRejectAfterTitle), 1);
    EXPECT_EQ(DoubleAt(bytes, after + kSweepTimeAfterTitle), 2.2);
    EXPECT_EQ(DoubleAt(bytes, after + kRbwAfterTitle), 100000.0);
    EXPECT_EQ(DoubleAt(bytes, after + kRatioAfterTitle), 80.0);
    EXPECT_EQ(DoubleAt(bytes, after + kPeakHintAfterTitle), -1.0);
}

TEST(StateFileLayout, EveryFieldLandsAtItsOffset) {
    const StateRecord r = DistinctRecord();
    const std::vector<std::uint8_t> bytes = EncodeStateFile(r);
    EXPECT_EQ(DoubleAt(bytes, 4), r.refLevelOffsetDb);
    EXPECT_EQ(DoubleAt(bytes, 36), r.refLevelStepDb);
    EXPECT_EQ(DoubleAt(bytes, 44), r.refLevelDbm);
    EXPECT_EQ(I32At(bytes, 52), 1);
    EXPECT_EQ(I32At(bytes, 72), 1);
    EXPECT_EQ(I32At(bytes, 76), 1);
    EXPECT_EQ(DoubleAt(bytes, 84), r.videoTrigThreshold);
    EXPECT_EQ(I32At(bytes, 92), 1);
    EXPECT_EQ(I32At(bytes, 96), 1);
    EXPECT_EQ(DoubleAt(bytes, 100), r.maxFmOffsetHz);
    EXPECT_EQ(I32At(bytes, 2672 + 4 * 10), r.traceBRows[10]);
    EXPECT_EQ(I32At(bytes, 5236 + 4 * 640), -120);
    EXPECT_EQ(I32At(bytes, 7800), 1);
    EXPECT_EQ(DoubleAt(bytes, 7804 + 8 * 640), r.traceA[640]);
    EXPECT_EQ(DoubleAt(bytes, 12932 + 8 * 3), r.traceAExtra[3]);
    EXPECT_EQ(I32At(bytes, 18060), 1);
    EXPECT_EQ(I32At(bytes, 18076), 1);
    EXPECT_EQ(I32At(bytes, 18080), 1);
    ASSERT_EQ(bytes[kTitleOffset], 12);
    EXPECT_EQ(std::memcmp(&bytes[kTitleOffset + 1], r.title.data(), 12), 0);
    const std::size_t after = kTitleOffset + 13;
    EXPECT_EQ(I32At(bytes, after + kMaxHoldAfterTitle), 1);
    EXPECT_EQ(I32At(bytes, after + kImageRejectAfterTitle), 0);
    EXPECT_EQ(DoubleAt(bytes, after + 20), r.marker1Pos);
    EXPECT_EQ(DoubleAt(bytes, after + 44), r.marker2Level);
    EXPECT_EQ(DoubleAt(bytes, after + 60), r.counterFreqHz);
    EXPECT_EQ(I32At(bytes, after + 68), 1);
    EXPECT_EQ(I32At(bytes, after + 88), 1);
    EXPECT_EQ(I32At(bytes, after + kTraceBShownAfterTitle), 1);
    EXPECT_EQ(bytes.size(), after + kTraceBShownAfterTitle + 4);
}

TEST(StateFileLayout, TitleUsesTheShortestLengthPrefix) {
    StateRecord r;
    r.title.assign(300, 'x');
    r.imageReject = false;
    std::vector<std::uint8_t> bytes = EncodeStateFile(r);
    ASSERT_EQ(bytes.size(), 18181u + 302);
    EXPECT_EQ(bytes[kTitleOffset], 255);
    EXPECT_EQ(bytes[kTitleOffset + 1], 300 & 0xFF);
    EXPECT_EQ(bytes[kTitleOffset + 2], 300 >> 8);
    EXPECT_EQ(I32At(bytes, kTitleOffset + 1 + kImageRejectAfterTitle + 302), 0);
    EXPECT_EQ(DoubleAt(bytes, kTitleOffset + 1 + kSweepTimeAfterTitle + 302), 2.2);

    // Boundaries between the three forms: prefix length 1, 3 and 7 bytes.
    const struct {
        std::size_t count;
        std::size_t prefix;
    } cases[] = {{254, 1}, {255, 3}, {65533, 3}, {65534, 7}, {70000, 7}};
    for (const auto& c : cases) {
        r.title.assign(c.count, 'y');
        bytes = EncodeStateFile(r);
        EXPECT_EQ(bytes.size(), 18180u + c.prefix + c.count) << c.count;
        if (c.prefix == 7) {
            EXPECT_EQ(bytes[kTitleOffset], 255);
            EXPECT_EQ(bytes[kTitleOffset + 1], 0xFF);
            EXPECT_EQ(bytes[kTitleOffset + 2], 0xFF);
            EXPECT_EQ(static_cast<std::size_t>(I32At(bytes, kTitleOffset + 3)), c.count);
        }
        const StateFileDecodeResult back = DecodeBytes(bytes);
        ASSERT_TRUE(back.ok()) << back.message;
        EXPECT_EQ(back.record.title.size(), c.count);
    }
}

TEST(StateFileRoundTrip, SavedFileLoadsBackUnchanged) {
    for (const StateRecord& original : {StateRecord{}, DistinctRecord()}) {
        const StateFileDecodeResult back = DecodeBytes(EncodeStateFile(original));
        ASSERT_TRUE(back.ok()) << back.message;
        EXPECT_TRUE(back.adjustments.empty());
        EXPECT_TRUE(back.record == original);
    }
}

TEST(StateFileRoundTrip, ExtraArrayIsCarriedBitForBit) {
    StateRecord r;
    r.traceAExtra[7] = std::numeric_limits<double>::quiet_NaN();
    r.traceAExtra[8] = -std::numeric_limits<double>::infinity();
    const std::vector<std::uint8_t> bytes = EncodeStateFile(r);
    const StateFileDecodeResult back = DecodeBytes(bytes);
    ASSERT_TRUE(back.ok()) << back.message;
    EXPECT_EQ(EncodeStateFile(back.record), bytes);
}

TEST(StateFileRecognition, EmptyAndForeignFilesAreNotLoaded) {
    EXPECT_EQ(DecodeBytes({}).status, StateFileStatus::Empty);

    std::vector<std::uint8_t> bytes = EncodeStateFile(StateRecord{});
    PutI32(bytes, 0, 2);
    EXPECT_EQ(DecodeBytes(bytes).status, StateFileStatus::NotRecognized);
    bytes.resize(6);  // the version word alone decides
    EXPECT_EQ(DecodeBytes(bytes).status, StateFileStatus::NotRecognized);
}

TEST(StateFileRecognition, EveryShortFileIsTruncated) {
    auto expectTruncated = [](const std::vector<std::uint8_t>& full, std::size_t from) {
        for (std::size_t length = from; length < full.size(); ++length) {
            const StateFileDecodeResult result =
                DecodeStateFile(std::span<const std::uint8_t>(full.data(), length));
            ASSERT_EQ(result.status, StateFileStatus::Truncated) << length;
            ASSERT_FALSE(result.message.empty());
        }
    };
    expectTruncated(EncodeStateFile(StateRecord{}), 1);
    StateRecord titled;
    titled.title.assign(300, 't');
    expectTruncated(EncodeStateFile(titled), kTitleOffset - 4);

    const std::vector<std::uint8_t> full = EncodeStateFile(StateRecord{});
    const StateFileDecodeResult cut =
        DecodeStateFile(std::span<const std::uint8_t>(full.data(), 9000));
    EXPECT_NE(cut.message.find("traceA"), std::string::npos) << cut.message;
}

TEST(StateFileRecognition, TitleCountBeyondTheFileIsTruncatedWithoutAllocating) {
    std::vector<std::uint8_t> bytes = EncodeStateFile(StateRecord{});
    bytes.resize(kTitleOffset);
    bytes.insert(bytes.end(), {255, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'});
    const StateFileDecodeResult result = DecodeBytes(bytes);
    EXPECT_EQ(result.status, StateFileStatus::Truncated);
    EXPECT_NE(result.message.find("4294967295"), std::string::npos) << result.message;

    bytes.resize(kTitleOffset);
    bytes.insert(bytes.end(), {255, 0xFE, 0xFF});  // the reserved 16-bit count
    bytes.resize(bytes.size() + 70000);
    EXPECT_EQ(DecodeBytes(bytes).status, StateFileStatus::OutOfRange);
}

TEST(StateFileRecognition, NonFiniteNumbersAreRefusedNamingTheField) {
    const std::vector<std::uint8_t> good = EncodeStateFile(StateRecord{});
    const struct {
        std::size_t offset;
        double value;
        const char* name;
    } cases[] = {
        {12, std::numeric_limits<double>::quiet_NaN(), "startFreqHz"},
        {20, std::numeric_limits<double>::infinity(), "stopFreqHz"},
        {44, -std::numeric_limits<double>::infinity(), "refLevelDbm"},
        {7804 + 8 * 17, std::numeric_limits<double>::quiet_NaN(), "traceA point 17"},
        {kTitleOffset + 1 + kSweepTimeAfterTitle, std::numeric_limits<double>::infinity(),
         "sweepTimeSec"},
        {kTitleOffset + 1 + kPeakHintAfterTitle, std::numeric_limits<double>::quiet_NaN(),
         "peakFreqHint"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = good;
        PutDouble(bytes, c.offset, c.value);
        const StateFileDecodeResult result = DecodeBytes(bytes);
        EXPECT_EQ(result.status, StateFileStatus::NotFinite) << c.name;
        EXPECT_NE(result.message.find(c.name), std::string::npos) << result.message;
    }
}

TEST(StateFileRecognition, ValuesWithoutMeaningAreRefusedNamingTheField) {
    const struct {
        void (*spoil)(StateRecord&);
        const char* name;
    } cases[] = {
        {[](StateRecord& r) { r.dbPerDiv = 0.0; }, "dbPerDiv"},
        {[](StateRecord& r) { r.dbPerDiv = -10.0; }, "dbPerDiv"},
        {[](StateRecord& r) { r.syncTrigMode = 7; }, "syncTrigMode"},
        {[](StateRecord& r) { r.syncTrigMode = -1; }, "syncTrigMode"},
        {[](StateRecord& r) { r.rbwHz = 0.0; }, "rbwHz"},
        {[](StateRecord& r) { r.sweepTimeSec = -1.0; }, "sweepTimeSec"},
    };
    for (const auto& c : cases) {
        StateRecord r;
        c.spoil(r);
        const StateFileDecodeResult result = DecodeBytes(EncodeStateFile(r));
        EXPECT_EQ(result.status, StateFileStatus::OutOfRange) << c.name;
        EXPECT_NE(result.message.find(c.name), std::string::npos) << result.message;
        EXPECT_TRUE(result.record == StateRecord{});
    }
}

StateRecord LoadAfter(void (*spoil)(StateRecord&), std::size_t expectedNotes = 1) {
    StateRecord r;
    spoil(r);
    const StateFileDecodeResult result = DecodeBytes(EncodeStateFile(r));
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(result.adjustments.size(), expectedNotes);
    return result.record;
}

TEST(StateFileRanges, SettingsTakeTheCommandsOwnRule) {
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.attenDb = 7.0; }).attenDb, 5.0);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.attenDb = 12.5; }).attenDb, 15.0);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.attenDb = -3.0; }).attenDb, 0.0);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.attenDb = 100.0; }).attenDb, 15.0);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.videoAvgCount = 0; }).videoAvgCount, 1);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.videoAvgCount = 7; }).videoAvgCount, 10);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.videoAvgCount = 55; }).videoAvgCount, 10);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.videoAvgCount = -2147483647 - 1; }).videoAvgCount,
              1);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.videoAvgCount = 1 << 30; }).videoAvgCount, 100);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.maxFmOffsetHz = 0.0; }).maxFmOffsetHz, 10.0);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.maxFmOffsetHz = 200e3; }).maxFmOffsetHz, 100e3);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.spanRbwRatio = 0.0; }).spanRbwRatio, 80.0);
    EXPECT_EQ(LoadAfter([](StateRecord& r) { r.spanRbwRatio = -5.0; }).spanRbwRatio, 80.0);
}

TEST(StateFileRanges, LegalEdgesAreKept) {
    StateRecord r;
    r.maxFmOffsetHz = 120000.0;
    r.attenDb = 0.0;
    r.startFreqHz = 0.0;
    r.stopFreqHz = 4.4e9;
    r.sweepTimeSec = 100.0;  // a long swept measurement, not a zero-span time
    r.traceA.fill(-5.0);
    r.traceAInt.fill(505);
    r.upperLimitRows.fill(-kLimitRowGuard);
    const StateFileDecodeResult result = DecodeBytes(EncodeStateFile(r));
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(result.adjustments.empty());
    EXPECT_TRUE(result.record == r);
}

TEST(StateFileRanges, FrequenciesStayInTheBand) {
    StateRecord r = LoadAfter([](StateRecord& s) { s.startFreqHz = -1e6; });
    EXPECT_EQ(r.startFreqHz, 0.0);
    r = LoadAfter([](StateRecord& s) { s.stopFreqHz = 5e9; });
    EXPECT_EQ(r.stopFreqHz, 4.4e9);
    r = LoadAfter(
        [](StateRecord& s) {
            s.startFreqHz = 300e6;
            s.stopFreqHz = 100e6;
        },
        3);
    EXPECT_EQ(r.startFreqHz, 200e6);
    EXPECT_EQ(r.stopFreqHz, 200e6);
    // Folded onto the centre it is zero span, so the preset 2.2 s becomes 2 s.
    EXPECT_EQ(r.sweepTimeSec, 2.0);
}

TEST(StateFileRanges, ZeroSpanSweepTimeIsKeptToTheDialogRange) {
    auto loadedTime = [](double stopAboveStartHz, double seconds) {
        StateRecord r;
        r.startFreqHz = 915e6;
        r.stopFreqHz = 915e6 + stopAboveStartHz;
        r.sweepTimeSec = seconds;
        return DecodeBytes(EncodeStateFile(r)).record.sweepTimeSec;
    };
    EXPECT_EQ(loadedTime(0.0, 100.0), 2.0);
    EXPECT_EQ(loadedTime(0.0, -1.0), 0.0005);
    EXPECT_EQ(loadedTime(0.5, 0.0), 0.0005);  // the engine sweeps below 1 Hz as zero span
    EXPECT_EQ(loadedTime(0.0, 0.0005), 0.0005);
    EXPECT_EQ(loadedTime(0.0, 2.0), 2.0);
    EXPECT_EQ(loadedTime(1.0, 100.0), 100.0);
}

TEST(StateFileRanges, RowsAreClampedPerArray) {
    const StateRecord r = LoadAfter(
        [](StateRecord& s) {
            s.traceA[0] = -1e9;
            s.traceA[640] = 1e300;
            s.traceAInt[3] = 1250;  // counted in the same note as traceAInt[5]
            s.traceAInt[5] = -2147483647 - 1;
            s.traceBRows[1] = 2147483647;
            s.upperLimitRows.fill(-2147483647 - 1);
        },
        4);
    EXPECT_EQ(r.traceA[0], -5.0);
    EXPECT_EQ(r.traceA[640], 505.0);
    EXPECT_EQ(r.traceAInt[3], 505);
    EXPECT_EQ(r.traceAInt[5], -5);
    EXPECT_EQ(r.traceBRows[1], kLimitRowGuard);
    EXPECT_EQ(r.upperLimitRows[640], -kLimitRowGuard);
}

TEST(StateFileFlags, AnyNonzeroWordReadsAsOn) {
    std::vector<std::uint8_t> bytes = EncodeStateFile(StateRecord{});
    PutI32(bytes, 92, 7);                                         // videoTrigger
    PutI32(bytes, 7800, -1);                                      // limitLinesOn
    PutI32(bytes, 18064, 0x100);                                  // marker1On
    PutI32(bytes, kTitleOffset + 1 + kImageRejectAfterTitle, 2);  // imageReject
    const StateFileDecodeResult result = DecodeBytes(bytes);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(result.record.videoTrigger);
    EXPECT_TRUE(result.record.limitLinesOn);
    EXPECT_TRUE(result.record.marker1On);
    EXPECT_TRUE(result.record.imageReject);
    const std::vector<std::uint8_t> saved = EncodeStateFile(result.record);
    EXPECT_EQ(I32At(saved, 92), 1);
    EXPECT_EQ(I32At(saved, 7800), 1);
}

TEST(StateFileFlags, BytesAfterTheLastFieldAreIgnoredAndNoted) {
    std::vector<std::uint8_t> bytes = EncodeStateFile(StateRecord{});
    bytes.insert(bytes.end(), {1, 2, 3});
    const StateFileDecodeResult result = DecodeBytes(bytes);
    ASSERT_TRUE(result.ok());
    ASSERT_EQ(result.adjustments.size(), 1u);
    EXPECT_NE(result.adjustments[0].find("3 bytes"), std::string::npos);
}

}  // namespace
}  // namespace tavlin
