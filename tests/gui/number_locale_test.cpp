// Numbers that leave or enter the program keep the decimal point under a
// German desktop, where the application has taken a comma from the
// environment: the SCPI socket, a trace file and the power meter's answer.
#include <gtest/gtest.h>

#include <QLocale>
#include <clocale>
#include <string>

#include "calibration/cal_bench.h"
#include "document/marker_commands.h"
#include "gui/gui_fixtures.h"
#include "remote/scpi_session.h"
#include "support/recording_prompter.h"
#include "view/trace_export.h"

namespace tavlin::test {
namespace {

// The German numeric rules for one test, whatever the run's own were.
class GermanNumbers {
  public:
    GermanNumbers() : previous_(std::setlocale(LC_ALL, nullptr)) {
        installed_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    ~GermanNumbers() {
        std::setlocale(LC_ALL, previous_.c_str());
        QLocale::setDefault(QLocale::c());
    }
    bool Installed() const { return installed_; }

  private:
    std::string previous_;
    bool installed_ = false;
};

TEST(NumberLocaleTest, SocketFileAndMeterKeepThePointUnderAGermanLocale) {
    const GermanNumbers german;
    ASSERT_TRUE(german.Installed()) << "de_DE.UTF-8 is missing: scripts/install-deps.sh makes it";
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
    RecordingPrompter prompter;
    GuiDocument gui(prompter);
    ScpiSession session(gui.Doc());
    EXPECT_EQ(session.Execute("FREQ:CENT 915.5 MHZ;CENT?"), "915500000.000\n");
    decltype(SweepTrace::traceA) rows{};
    rows.fill(150.5);
    const std::string csv = TraceExport::Csv(MarkerCommands(gui.Doc()).Scale(), rows);
    EXPECT_EQ(csv.substr(csv.find('\n') + 1, 21), "902500000.000,-30.1\r\n");
    EXPECT_EQ(ParseMeterReading("-12.34\n"), -12.34);
}

}  // namespace
}  // namespace tavlin::test
