#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <fstream>

#include "document/document_fixture.h"
#include "document/state_file.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

class DocumentStateFileTest : public DocumentFixture {
  protected:
    std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    template <typename T>
    T At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
        T value;
        std::memcpy(&value, bytes.data() + offset, sizeof value);
        return value;
    }
    // A few settings away from preset, so a load visibly changes something.
    void ChangeSettings(AnalyzerDocument& d) {
        d.SetCenterSpan(100e6, 2e6);
        d.state.refLevelDbm = -30.0;
        d.state.dbPerDiv = 5.0;
        d.state.title = "Filter 3 pass band";
        d.state.titleSet = 1;
        d.markers.marker1On = 1;
        d.markers.marker1Pos = 100.2e6;
        d.trace.traceA[17] = 123.5;
        d.trace.traceAInt[17] = 123;
    }
};

TEST_F(DocumentStateFileTest, RecallRestoresTheSavedStateButNotTheOffsetOrPreamp) {
    AnalyzerDocument& d = BuildWithInstrument();
    ChangeSettings(d);
    const auto path = cacheDir / "changed.pqz";
    ASSERT_TRUE(d.SaveStateFile(path));
    EXPECT_EQ(d.DocumentPath(), path);
    d.Preset();
    d.state.freqOffsetHz = 70e6;
    d.state.preampOn = true;
    ASSERT_TRUE(d.LoadStateFile(path));
    EXPECT_EQ(d.Frequencies().CenterHz(), 100e6);
    EXPECT_EQ(d.Frequencies().SpanHz(), 2e6);
    EXPECT_EQ(d.state.refLevelDbm, -30.0);
    EXPECT_EQ(d.state.dbPerDiv, 5.0);
    EXPECT_EQ(d.state.title, "Filter 3 pass band");
    EXPECT_EQ(d.markers.marker1Pos, 100.2e6);
    EXPECT_EQ(d.trace.traceA[17], 123.5);
    EXPECT_EQ(d.state.freqOffsetHz, 70e6);
    EXPECT_TRUE(d.state.preampOn);
    EXPECT_EQ(prompter.Count(), 0u);
    // Saved again, the file is the same byte for byte.
    const auto again = cacheDir / "again.pqz";
    ASSERT_TRUE(d.SaveStateFile(again));
    EXPECT_EQ(ReadBytes(again), ReadBytes(path));
}

TEST_F(DocumentStateFileTest, ShortFileChangesNothingAndIsNotAdopted) {
    AnalyzerDocument& d = BuildWithInstrument();
    ChangeSettings(d);
    const auto good = cacheDir / "good.pqz";
    ASSERT_TRUE(d.SaveStateFile(good));
    auto bytes = ReadBytes(good);
    d.Preset();
    bytes.resize(9000);  // ends inside trace B
    const auto bad = cacheDir / "short.pqz";
    WriteBytes(bad, bytes);
    EXPECT_FALSE(d.LoadStateFile(bad));
    EXPECT_EQ(d.Frequencies().startHz, 902e6) << "not even the early fields are taken";
    EXPECT_EQ(d.state.refLevelDbm, 0.0);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "UNABLE TO OPEN");
    EXPECT_NE(prompter.Boxes()[0].text.find("short.pqz"), std::string::npos);
    EXPECT_EQ(d.DocumentPath(), good);
}

TEST_F(DocumentStateFileTest, UnknownVersionSaysSoAndKeepsTheOldNameAnEmptyFileSaysNothing) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto path = cacheDir / "v2.pqz";
    ASSERT_TRUE(d.SaveStateFile(path));
    auto bytes = ReadBytes(path);
    bytes[0] = 2;
    const auto other = cacheDir / "other.pqz";
    WriteBytes(other, bytes);
    d.SetCenterSpan(50e6, 1e6);
    EXPECT_FALSE(d.LoadStateFile(other));
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "FILE NOT RECOGNIZED");
    EXPECT_EQ(prompter.Boxes()[0].caption, "UNABLE TO OPEN");
    EXPECT_EQ(d.Frequencies().CenterHz(), 50e6);
    EXPECT_EQ(d.DocumentPath(), path) << "a later Save must not overwrite the unreadable file";

    // An empty file opens silently and changes nothing.
    prompter.Clear();
    WriteBytes(other, {});
    EXPECT_TRUE(d.LoadStateFile(other));
    EXPECT_EQ(prompter.Count(), 0u);
    EXPECT_EQ(d.Frequencies().CenterHz(), 50e6);
}

TEST_F(DocumentStateFileTest, RecalledLevelsGoThroughTheLevelPlan) {
    AnalyzerDocument& d = BuildWithInstrument();
    StateRecord record;
    record.attenDb = 0.0;
    record.refLevelDbm = 10.0;
    const auto path = cacheDir / "hot.pqz";
    WriteBytes(path, EncodeStateFile(record));
    usb.ClearWrites();
    ASSERT_TRUE(d.LoadStateFile(path));
    EXPECT_EQ(d.state.attenDb, 10.0);
    const auto commands = CommandsSent();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), (Bytes{'A', 2}));
}

// A disk that fills up half-way through the save: the file-size limit makes
// the write fail even for root.
TEST_F(DocumentStateFileTest, SaveThatFailsHalfWayKeepsTheOldFile) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto path = cacheDir / "keep.pqz";
    ASSERT_TRUE(d.SaveStateFile(path));
    const auto before = ReadBytes(path);
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
    EXPECT_EQ(ReadBytes(path), before);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "UNABLE TO SAVE");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cacheDir),
                            std::filesystem::directory_iterator()),
              2)
        << "only the old file and the calibration cache remain";
}

TEST_F(DocumentStateFileTest, SavingOntoAFolderFailsWithAMessage) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto folder = cacheDir / "a folder";
    std::filesystem::create_directories(folder / "inside");
    EXPECT_FALSE(d.SaveStateFile(folder));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "inside"));
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "UNABLE TO SAVE");
    for (const auto& entry : std::filesystem::directory_iterator(cacheDir)) {
        EXPECT_EQ(entry.path().filename().string().rfind(".a folder", 0), std::string::npos)
            << "no temporary file is left behind";
    }
}

TEST_F(DocumentStateFileTest, RecallDuringASweepPausesAndResumesIt) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto path = cacheDir / "during.pqz";
    ChangeSettings(d);
    ASSERT_TRUE(d.SaveStateFile(path));
    d.Preset();
    std::atomic<int> passes{0};
    d.SetSweepPass([&] {
        ++passes;
        clock.SleepMs(5);
    });
    d.OnContinuous();
    ASSERT_TRUE(d.LoadStateFile(path));
    EXPECT_TRUE(d.SweepRunning());
    d.CloseDocument();
    EXPECT_EQ(d.state.refLevelDbm, -30.0);
}

TEST_F(DocumentStateFileTest, RemoteCopiesLeaveTheDocumentsNameAlone) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto own = cacheDir / "own.pqz";
    ASSERT_TRUE(d.SaveStateFile(own));
    const auto copy = cacheDir / "copy.pqz";
    ASSERT_TRUE(d.SaveStateFile(copy, false));
    ASSERT_TRUE(d.LoadStateFile(copy, false));
    EXPECT_EQ(d.DocumentPath(), own);
}

}  // namespace
}  // namespace tavlin
