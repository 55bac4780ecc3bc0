// The sweep log as its readers see it: the heat-map rows read back by a
// reader written from the layout's published description, the table's
// header and flags, files that are never overwritten, and a full disk that
// stops the log on a whole row.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_clock.h"
#include "support/row_name.h"
#include "support/test_directory.h"
#include "view/sweep_log.h"

namespace tavlin {
namespace {

// 2026-12-08 06:45:19.750 UTC
constexpr double kUtc = 1796712319.75;

SweepRecord Record(double utcSec, float levelDbm = -60.0f) {
    SweepRecord record;
    record.utcSec = utcSec;
    record.startHz = 100e6;
    record.stopHz = 164e6;  // 100 kHz a step
    record.rbwHz = 100e3;
    record.serial = "TV000123";
    record.levelsDbm.fill(levelDbm);
    record.levelsDbm[100] = -20.5f;
    record.flags[5] = ReadingFlag::kBelowScreen;
    return record;
}

// One row of the heat-map layout as its description gives it: "date, time,
// Hz low, Hz high, Hz step, samples, dB, dB, ...", the levels at Hz low plus
// a step each, (high - low) / step of them.
struct HeatmapRow {
    std::string date;
    std::string time;
    double lowHz = 0.0;
    double stepHz = 0.0;
    std::vector<double> levels;
};

std::vector<HeatmapRow> ReadHeatmap(const std::string& text) {
    std::vector<HeatmapRow> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) {
            fields.push_back(cell.substr(cell.find_first_not_of(' ')));
        }
        HeatmapRow row{
            fields.at(0), fields.at(1), std::stod(fields.at(2)), std::stod(fields.at(4)), {}};
        for (std::size_t i = 6; i < fields.size(); ++i) {
            row.levels.push_back(std::stod(fields[i]));
        }
        EXPECT_EQ(
            row.levels.size(),
            static_cast<std::size_t>(std::lround((std::stod(fields[3]) - row.lowHz) / row.stepHz)));
        rows.push_back(row);
    }
    return rows;
}

class SweepLogTest : public testing::Test {
  protected:
    ~SweepLogTest() override { std::filesystem::remove_all(dir); }

    SweepLog::Status LogAll(const SweepLogSettings& settings,
                            const std::vector<SweepRecord>& records) {
        SweepLog log(settings, clock);
        EXPECT_EQ(log.Start(), "");
        for (const SweepRecord& record : records) {
            log.Offer(record);
            clock.Advance(100);
        }
        log.Stop();
        return log.GetStatus();
    }

    SweepLogSettings Settings(SweepLogFormat format = SweepLogFormat::kHeatmap) const {
        SweepLogSettings settings;
        settings.path = dir / "sweeps.csv";
        settings.format = format;
        settings.marginBytes = 0;
        return settings;
    }

    test::FakeClock clock;
    const std::filesystem::path dir = test::MakeTestDirectory("sweep-log");
};

// Flagged points carry no level a heat map could take at face value; a
// zero-span sweep has no frequencies and no row.
TEST_F(SweepLogTest, HeatmapRowsReadBackAsTheSweepsLevelsAtTheirFrequencies) {
    SweepRecord overRange = Record(kUtc + 1.0);
    overRange.flags.fill(ReadingFlag::kOverRange);
    SweepRecord zeroSpan = Record(kUtc + 2.0);
    zeroSpan.zeroSpan = true;
    const SweepLog::Status status =
        LogAll(Settings(), {Record(kUtc), overRange, zeroSpan, Record(kUtc + 3.0, -70.0f)});
    EXPECT_EQ(status.written, 3u);
    EXPECT_EQ(status.skipped, 1u);
    const std::vector<HeatmapRow> rows = ReadHeatmap(test::ReadFileText(dir / "sweeps.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].date, "2026-12-08");
    EXPECT_EQ(rows[0].time, "06:45:19");
    EXPECT_EQ(rows[0].lowHz + 100 * rows[0].stepHz, 110e6);
    EXPECT_EQ(rows[0].levels[100], -20.5);
    EXPECT_EQ(rows[0].levels[640], -60.0);
    EXPECT_TRUE(std::isnan(rows[0].levels[5]));
    EXPECT_TRUE(std::isnan(rows[1].levels[100]));
    EXPECT_EQ(rows[2].levels[0], -70.0);
}

TEST_F(SweepLogTest, TableRowsCarryUtcTimeFlagsAndANewHeaderWhenTheSettingsChange) {
    SweepRecord moved = Record(kUtc + 2.0);
    moved.refLevelDbm = -30.0;
    LogAll(Settings(SweepLogFormat::kTable), {Record(kUtc), Record(kUtc + 1.0), moved});
    const std::string text = test::ReadFileText(dir / "sweeps.csv");
    EXPECT_EQ(text.find("# start 100000000.000 Hz, stop 164000000.000 Hz"), 19u);
    EXPECT_NE(text.find("# unit serial: TV000123\n"), std::string::npos);
    EXPECT_NE(text.find("\n2026-12-08T06:45:19.750Z,,-60.00,-60.00,-60.00,-60.00,-60.00,<-60.00,"),
              std::string::npos);
    EXPECT_NE(text.find("reference -30.00 dBm"), std::string::npos);
    int headers = 0;
    for (std::size_t at = 0; (at = text.find("# Tavlin sweep log", at)) != std::string::npos;
         ++at) {
        ++headers;
    }
    EXPECT_EQ(headers, 2);
}

// A taken name is stepped over; a rotation opens the next free name and
// starts it with its own header.
TEST_F(SweepLogTest, RotatesIntoFreshFilesAndNeverOverwritesOne) {
    std::filesystem::create_directories(dir);
    { std::ofstream(dir / "sweeps.csv") << "an older log\n"; }
    SweepLogSettings settings = Settings(SweepLogFormat::kTable);
    settings.rotateSec = 60.0;
    LogAll(settings, {Record(kUtc), Record(kUtc + 30.0), Record(kUtc + 61.0)});
    EXPECT_EQ(test::ReadFileText(dir / "sweeps.csv"), "an older log\n");
    const std::string first = test::ReadFileText(dir / "sweeps-1.csv");
    const std::string second = test::ReadFileText(dir / "sweeps-2.csv");
    EXPECT_EQ(first.rfind("# Tavlin sweep log", 0), 0u);
    EXPECT_NE(first.find("T06:45:49"), std::string::npos);
    EXPECT_EQ(second.rfind("# Tavlin sweep log", 0), 0u);
    EXPECT_NE(second.find("T06:46:20"), std::string::npos);
}

TEST_F(SweepLogTest, KeepsOneSweepPerIntervalAndEndsAfterItsDuration) {
    SweepLogSettings settings = Settings();
    settings.intervalSec = 0.25;
    settings.durationSec = 0.95;
    SweepLog log(settings, clock);
    ASSERT_EQ(log.Start(), "");
    for (int i = 0; i < 12; ++i) {  // one every 100 ms
        log.Offer(Record(kUtc + i * 0.1));
        clock.Advance(100);
    }
    // The writer waits for work again before the end: a stop must wake it.
    for (int wait = 0; wait < 1000 && log.GetStatus().written < 4; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(log.Running());
    log.Stop();
    EXPECT_EQ(log.GetStatus().written, 4u);  // at 0, 0.3, 0.6 and 0.9 s
    EXPECT_EQ(log.GetStatus().stopReason, "");
}

// The disk fills in the middle of a row (the file size limit cuts the write
// short as a full disk does), or its free room reaches the margin: the log
// stops with its reason and the file ends on a whole row.
struct FullDiskRow {
    const char* name;
    rlim_t fileLimit;
    double marginPercent;
    const char* reason;
};

class SweepLogFullDiskTest : public SweepLogTest,
                             public testing::WithParamInterface<FullDiskRow> {};

TEST_P(SweepLogFullDiskTest, StopsWithItsReasonAndLeavesWholeRows) {
    SweepLogSettings settings = Settings();
    settings.marginPercent = GetParam().marginPercent;
    settings.marginBytes = GetParam().marginPercent > 0.0 ? UINT64_MAX : 0;
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit limit = before;
    limit.rlim_cur = GetParam().fileLimit;
    const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    const SweepLog::Status status = LogAll(settings, std::vector<SweepRecord>(10, Record(kUtc)));
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, oldHandler);
    EXPECT_NE(status.stopReason.find(GetParam().reason), std::string::npos) << status.stopReason;
    EXPECT_FALSE(status.running);
    const std::string text = test::ReadFileText(dir / "sweeps.csv");
    EXPECT_EQ(ReadHeatmap(text).size(), status.written);
    EXPECT_TRUE(text.empty() || text.back() == '\n');
}

INSTANTIATE_TEST_SUITE_P(
    Disk, SweepLogFullDiskTest,
    testing::Values(FullDiskRow{"full_in_the_third_row", 12000, 0.0, "No space left"},
                    FullDiskRow{"down_to_the_margin", RLIM_INFINITY, 100.0, "margin"}),
    test::kRowName);

}  // namespace
}  // namespace tavlin
