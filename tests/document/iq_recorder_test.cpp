#include <gtest/gtest.h>

#include <future>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "document/iq_recorder.h"
#include "support/test_directory.h"

namespace tavlin {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kPairs = 1000;
constexpr std::size_t kCaptureBytes = 4 * kPairs;

// Takes `room` bytes, then writes what still fits and fails as a full disk does.
class FullDiskFile : public IqDataFile {
  public:
    explicit FullDiskFile(std::size_t room) : room_(room) {}
    bool Append(std::span<const std::uint8_t> bytes, std::string& error) override {
        const std::size_t fits = std::min(bytes.size(), room_);
        room_ -= fits;
        if (!IqDataFile::Append(bytes.first(fits), error) || fits < bytes.size()) {
            error = "Cannot write: No space left on device";
            return false;
        }
        return true;
    }

  private:
    std::size_t room_;
};

// Holds its first write until released: the writer thread stands still.
class StalledFile : public IqDataFile {
  public:
    std::promise<void> entered;
    std::promise<void> release;
    bool Append(std::span<const std::uint8_t> bytes, std::string& error) override {
        if (!stalled_) {
            stalled_ = true;
            entered.set_value();
            release.get_future().wait();
        }
        return IqDataFile::Append(bytes, error);
    }

  private:
    bool stalled_ = false;
};

struct CaptureData {
    std::vector<std::int32_t> i = std::vector<std::int32_t>(kPairs, 100);
    std::vector<std::int32_t> q = std::vector<std::int32_t>(kPairs, -100);
    IqCapture Capture(bool continues = false) const {
        IqCapture capture;
        capture.i = i;
        capture.q = q;
        capture.sampleRateHz = 243055.5;
        capture.centerHz = 915e6;
        capture.continuesPrevious = continues;
        return capture;
    }
};

Json ReadMeta(const IqRecorder& recorder) {
    return Json::parse(test::ReadFileText(recorder.MetaPath()));
}

std::vector<std::uint64_t> SampleStarts(const Json& meta) {
    std::vector<std::uint64_t> starts;
    for (const Json& capture : meta.at("captures")) {
        starts.push_back(capture.at("core:sample_start").get<std::uint64_t>());
    }
    return starts;
}

TEST(IqRecorder, AFullDiskEndsTheRecordingWithWholeCapturesOnDisk) {
    const auto folder = test::MakeTestDirectory("iq");
    IqRecorder recorder(folder / "full.sigmf-meta", {"TV000123", "Tavlin 2.03", "test"}, 0.0,
                        std::make_unique<FullDiskFile>(kCaptureBytes * 5 / 2));
    std::string error;
    ASSERT_TRUE(recorder.Start(error)) << error;
    const CaptureData data;
    for (int n = 0; n < 4; ++n) {
        recorder.Offer(data.Capture());
    }
    recorder.Stop();
    const IqRecordingStatus status = recorder.Status();
    EXPECT_TRUE(status.failed);
    EXPECT_NE(status.message.find("No space left"), std::string::npos) << status.message;
    EXPECT_EQ(status.captures, 2u);
    EXPECT_EQ(std::filesystem::file_size(recorder.DataPath()), 2 * kCaptureBytes);
    EXPECT_EQ(SampleStarts(ReadMeta(recorder)), (std::vector<std::uint64_t>{0, kPairs}));
}

// The writer stands on its first capture while the sweep offers 40: 16 wait
// in the queue and the rest are dropped, never waited for. The capture after
// the loss starts a segment of its own although it continues a stream.
TEST(IqRecorder, CapturesThatFindTheQueueFullAreCountedAndNeverJoined) {
    const auto folder = test::MakeTestDirectory("iq");
    auto file = std::make_unique<StalledFile>();
    StalledFile& stalled = *file;
    IqRecorder recorder(folder / "busy", {"TV000123", "Tavlin 2.03", "test"}, 0.0, std::move(file));
    std::string error;
    ASSERT_TRUE(recorder.Start(error)) << error;
    const CaptureData data;
    recorder.Offer(data.Capture());
    stalled.entered.get_future().wait();
    for (int n = 1; n < 40; ++n) {
        recorder.Offer(data.Capture(true));
    }
    EXPECT_EQ(recorder.Status().droppedCaptures, 40u - 1u - IqRecorder::kQueueCaptures);
    stalled.release.set_value();
    while (recorder.Status().captures < 1 + IqRecorder::kQueueCaptures) {
        std::this_thread::yield();
    }
    recorder.Offer(data.Capture(true));
    recorder.Stop();
    const Json meta = ReadMeta(recorder);
    EXPECT_EQ(meta.at("global").at("tavlin:dropped_captures"), 23);
    EXPECT_EQ(SampleStarts(meta),
              (std::vector<std::uint64_t>{0, (1 + IqRecorder::kQueueCaptures) * kPairs}));
    EXPECT_EQ(recorder.MetaPath().filename(), "busy.sigmf-meta");
}

// A mirrored sampler's pairs are conjugated; -32768 has no positive twin.
TEST(IqRecorder, WritesLittleEndianPairsInTheInputsOrientation) {
    const auto folder = test::MakeTestDirectory("iq");
    IqRecorder recorder(folder / "mirror.sigmf-data", {"TV000123", "Tavlin 2.03", "test"}, 0.0);
    std::string error;
    ASSERT_TRUE(recorder.Start(error)) << error;
    const std::vector<std::int32_t> i = {1, -32768};
    const std::vector<std::int32_t> q = {2, -32768};
    IqCapture capture;
    capture.i = i;
    capture.q = q;
    capture.sampleRateHz = 1e3;
    capture.mirrored = true;
    recorder.Offer(capture);
    recorder.Stop();
    EXPECT_EQ(test::ReadFileBytes(recorder.DataPath()),
              (std::vector<std::uint8_t>{0x01, 0x00, 0xFE, 0xFF, 0x00, 0x80, 0xFF, 0x7F}));
    EXPECT_EQ(SigmfMeta::UtcTimestamp(std::chrono::system_clock::time_point(
                  std::chrono::microseconds(1'000'000'000'500'000))),
              "2001-09-09T01:46:40.500000Z");
}

}  // namespace
}  // namespace tavlin
