// Both programs' command lines: what each argument list asks for, or the
// refusal that names the option (the programs then print the usage and
// exit 2).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "../apps/console_options.h"
#include "../apps/window_options.h"
#include "support/row_name.h"

namespace tavlin::test {
namespace {

struct CommandLineRow {
    const char* name;
    std::vector<std::string> arguments;
    std::string outcome;  // the options that differ from the defaults, or the refusal
    friend void PrintTo(const CommandLineRow& row, std::ostream* out) { *out << row.name; }
};

std::string DescribeCommon(const CommonOptions& o) {
    std::ostringstream text;
    text << (o.usb.source == UsbChoice::Source::kUsb ? "" : "virtual:" + o.usb.scenePath + " ");
    if (o.scpi) {
        text << "scpi:" << o.scpi->address << ":" << o.scpi->port << "/" << o.scpi->idleSeconds
             << " ";
    }
    text << (o.automation ? "automation:" + std::to_string(o.automation->commandPort) + " " : "");
    for (const std::string& command : o.commands) {
        text << "c:" << command << " ";
    }
    text << (o.logLevel == LogLevel::kDebug ? "debug " : "");
    return text.str();
}

// Parses as the program does: Qt's refusals, then ours, on the error text.
template <typename Options, typename Read>
std::string Outcome(const CommandLineRow& row, std::vector<OptionRule> rules, Read read,
                    std::string (*describe)(const Options&)) {
    CommandLine line(rules);
    if (!line.Parse(row.arguments)) {
        return line.Error();
    }
    std::ostringstream err;
    const std::optional<Options> options = read(line, err);
    return options ? describe(*options) : err.str();
}

std::string DescribeConsole(const ConsoleOptions& o) {
    std::ostringstream text;
    text << DescribeCommon(o);
    if (o.utility) {
        const UtilityRequest& u = *o.utility;
        text << u.name << " x" << u.captures << " if:" << u.ifBandwidthHz
             << (u.audioBandPass ? " bp" : " lp") << (u.showAm ? " am" : "")
             << (u.showFm ? " fm" : "") << (u.out.empty() ? "" : " out:" + u.out.string());
    }
    text << (o.procedure ? "procedure:" + *o.procedure : "");
    if (o.sweepLog.Asked()) {
        const SweepLogSettings& l = o.sweepLog.settings;
        text << "log:" << l.path.string() << " " << SweepLogFormatName(l.format) << " every "
             << l.intervalSec << " for " << l.durationSec << " rotate " << l.rotateBytes << "B/"
             << l.rotateSec << "s margin " << l.marginBytes << "B/" << l.marginPercent << "%";
    }
    return text.str();
}

class ConsoleCommandLineTest : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(ConsoleCommandLineTest, AsksForWhatTheRowSays) {
    EXPECT_EQ(Outcome<ConsoleOptions>(GetParam(), ConsoleOptionRules(), ReadConsoleOptions,
                                      DescribeConsole),
              GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleCommandLineTest,
    ::testing::Values(
        CommandLineRow{"UtilityOptionBeforeTheUtility",
                       {"--captures", "2", "--utility", "receiver"},
                       "receiver x2 if:15000 bp fm"},
        CommandLineRow{
            "ValuesAfterAnEqualsSign",
            {"--utility=receiver", "--if-bandwidth=240e3", "--audio-filter=lp", "--show=am,fm"},
            "receiver x1 if:240000 lp am fm"},
        CommandLineRow{"ReceiverShowsAmOnly",
                       {"--show", "am", "--utility", "receiver"},
                       "receiver x1 if:15000 bp am"},
        CommandLineRow{"IfBandwidthNotOffered",
                       {"--utility", "receiver", "--if-bandwidth", "50e3"},
                       "tavlin-cli: --if-bandwidth must be 240e3, 120e3, 60e3, 30e3 or 15e3 (Hz), "
                       "not '50e3'\n"},
        CommandLineRow{"ShowUnknownBlock",
                       {"--utility", "receiver", "--show", "am,"},
                       "tavlin-cli: --show takes am, fm or am,fm, not 'am,'\n"},
        CommandLineRow{"CapturesNotAPositiveNumber",
                       {"--utility", "receiver", "--captures", "0"},
                       "tavlin-cli: --captures must be a whole number of 1 or more, not '0'\n"},
        CommandLineRow{"UtilityOptionWithoutItsUtility",
                       {"--simulate", "--out", "plot.bmp", "--utility", "harmonics"},
                       "tavlin-cli: --out goes with --utility phase-noise\n"},
        CommandLineRow{"OutputFolderMissing",
                       {"--utility", "phase-noise", "--out", "/nonexistent/x.bmp"},
                       "tavlin-cli: --out /nonexistent/x.bmp: the folder /nonexistent does not "
                       "exist\n"},
        CommandLineRow{"AudioFileIsAFolder",
                       {"--utility", "listen", "--audio-file", "/tmp"},
                       "tavlin-cli: --audio-file /tmp: that is a folder\n"},
        CommandLineRow{"UnknownUtility",
                       {"--utility", "spectrum"},
                       "tavlin-cli: --utility: no utility named 'spectrum'\n"},
        CommandLineRow{"UnknownOption", {"--info", "--frobnicate"}, "unknown option --frobnicate"},
        CommandLineRow{"StrayWord", {"--info", "915e6"}, "tavlin-cli: unknown option 915e6\n"},
        CommandLineRow{"ValueMissing", {"--info", "-c"}, "Missing value after '-c'."},
        CommandLineRow{"BareOptionalValues",
                       {"--scpi", "--simulate", "--automation"},
                       "virtual: scpi:127.0.0.1:5025/60 automation:3976 "},
        CommandLineRow{"OptionalValuesAfterEquals",
                       {"--simulate-usb=scenes/a.json", "--scpi=[::1]:0", "--scpi-idle", "5"},
                       "virtual:scenes/a.json scpi:::1:0/5 "},
        CommandLineRow{"IdleBeforeTheServer",
                       {"--scpi-idle=0", "--scpi=127.0.0.1:6000"},
                       "scpi:127.0.0.1:6000/0 "},
        CommandLineRow{"OptionalValueIsNeverTheNextWord",
                       {"--scpi", "127.0.0.1:6000"},
                       "tavlin-cli: unknown option 127.0.0.1:6000\n"},
        CommandLineRow{"CommandThatLooksLikeAnOption",
                       {"-c", "--scpi", "--log-level=debug", "-c", "*RST"},
                       "c:--scpi c:*RST debug "},
        CommandLineRow{"KeyedAnswer",
                       {"--answer=TRY AGAIN?=no", "--procedure", "self-test", "--bench=virtual"},
                       "procedure:self-test"},
        CommandLineRow{"AnswerNeitherYesNorNo",
                       {"--answer", "maybe"},
                       "tavlin-cli: --answer takes yes, no or KEY=yes|no, not 'maybe'\n"},
        CommandLineRow{"SweepLogOptionsBeforeTheLog",
                       {"--interval=10s", "--duration", "2h", "--rotate", "100M", "--log-sweeps",
                        "s.csv", "--log-margin", "2%"},
                       "log:s.csv heatmap every 10 for 7200 rotate 100000000B/0s margin "
                       "18446744073709551615B/2%"},
        CommandLineRow{
            "SweepLogRotatedByTimeInATable",
            {"--log-sweeps=s.csv", "--rotate=1h", "--log-format=table", "--log-margin=5M"},
            "log:s.csv table every 0 for 0 rotate 0B/3600s margin 5000000B/100%"},
        CommandLineRow{"SweepLogOptionWithoutTheLog",
                       {"--info", "--duration", "1h"},
                       "tavlin-cli: --duration goes with --log-sweeps FILE\n"},
        CommandLineRow{"RotateNeitherSizeNorTime",
                       {"--log-sweeps", "s.csv", "--rotate", "1w"},
                       "tavlin-cli: --rotate takes a size (100M) or a time (1h), not '1w'\n"},
        CommandLineRow{"UnknownProcedure",
                       {"--procedure", "adjust-everything"},
                       "tavlin-cli: --procedure: no procedure named 'adjust-everything'\n"}),
    kRowName);

std::string DescribeWindow(const WindowOptions& o) {
    std::ostringstream text;
    text << DescribeCommon(o) << (o.stateFile.empty() ? "" : "state:" + o.stateFile + " ")
         << (o.screenshot ? "screenshot:" + *o.screenshot + " " : "")
         << (o.sweepsGiven ? "sweeps:" + std::to_string(o.sweeps) + " " : "")
         << (o.size.isEmpty() ? "" : "size:" + std::to_string(o.size.width()) + " ")
         << (o.theme ? "theme:" + QtTheme::Name(*o.theme) + " " : "")
         << (o.spectrogram ? "spectrogram" : "")
         << (o.waterfall ? ":" + std::to_string(o.waterfall->lineHeight) + "," +
                               std::to_string(static_cast<int>(o.waterfall->bottomDbm)) + "," +
                               std::to_string(static_cast<int>(o.waterfall->topDbm))
                         : "");
    return text.str();
}

class WindowCommandLineTest : public ::testing::TestWithParam<CommandLineRow> {};

TEST_P(WindowCommandLineTest, AsksForWhatTheRowSays) {
    EXPECT_EQ(
        Outcome<WindowOptions>(GetParam(), WindowOptionRules(), ReadWindowOptions, DescribeWindow),
        GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WindowCommandLineTest,
    ::testing::Values(
        CommandLineRow{"StateFileAmongOptions",
                       {"--spectrogram", "s.pqz", "--simulate=x.json"},
                       "virtual:x.json state:s.pqz spectrogram"},
        CommandLineRow{"ScreenshotThemed",
                       {"--sweeps=0", "-c", "FRE:CEN 1e9", "--screenshot", "x.png", "--size",
                        "800x600", "--theme", "dark"},
                       "c:FRE:CEN 1e9 screenshot:x.png sweeps:0 size:800 theme:dark "},
        CommandLineRow{
            "SpectrogramLinesAndColours", {"--spectrogram=3,-100.5,-30"}, "spectrogram:3,-100,-30"},
        CommandLineRow{"SpectrogramColoursUpsideDown",
                       {"--spectrogram=fit,-30,-100"},
                       "tavlin: --spectrogram cannot take 'fit,-30,-100' (1 to 8 or fit, then "
                       "BOTTOM,TOP in dBm)\n"},
        CommandLineRow{
            "Screenshot",
            {"--sweeps=0", "-c", "FRE:CEN 1e9", "--screenshot", "x.png", "--size", "800x600"},
            "c:FRE:CEN 1e9 screenshot:x.png sweeps:0 size:800 "},
        CommandLineRow{"ScreenshotFolderMissing",
                       {"--screenshot", "/nonexistent/x.png"},
                       "tavlin: --screenshot /nonexistent/x.png: the folder /nonexistent does not "
                       "exist\n"},
        CommandLineRow{"SweepsWithoutScreenshot",
                       {"--sweeps", "2"},
                       "tavlin: --size, --sweeps, -c, --press and --dialog go with --screenshot\n"},
        CommandLineRow{"SizeOutOfRange",
                       {"--screenshot", "x.png", "--size", "9000x600"},
                       "tavlin: --size cannot take '9000x600' (WxH, 1 to 8192 each)\n"},
        CommandLineRow{"TwoStateFiles",
                       {"a.pqz", "b.pqz"},
                       "tavlin: one state file at a time, not also b.pqz\n"}),
    kRowName);

}  // namespace
}  // namespace tavlin::test
