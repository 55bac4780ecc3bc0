// tavlin-cli: the analyzer's document on the console, for scripts and tests.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console_answers.h"
#include "app/console_prompter.h"
#include "app/utility_runner.h"
#include "calibration/console_procedures.h"
#include "console_options.h"
#include "document/analyzer_document.h"
#include "document/instrument_info.h"
#include "document/limit_mask.h"
#include "document/marker_scale.h"
#include "gpib_bus_choice.h"
#include "information_options.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/scoped_log_sink.h"
#include "ports/stderr_log_sink.h"
#include "ports/view_notifier.h"
#include "remote/automation_server.h"
#include "remote/command_script.h"
#include "remote/scpi_server.h"
#include "remote/stream_reply_sink.h"
#include "runtime_folder.h"
#include "stop_signals.h"
#include "usb_driver_choice.h"
#include "utilities/console_utilities.h"
#include "utilities/phase_noise/qt_phase_noise_painter.h"
#include "view/limit_verdict_text.h"
#include "view/sweep_log.h"

#include <QByteArray>
#include <QGuiApplication>

namespace {

using Options = tavlin::ConsoleOptions;

constexpr int kLimitTestFailed = 4;
constexpr int kSweepIncomplete = 5;
constexpr int kBadOptions = 2;

// Every command as the automation server would frame and run it; the exit
// status says the worst of what happened.
int RunCommands(tavlin::AnalyzerDocument& document, const std::vector<std::string>& commands) {
    tavlin::StreamReplySink replies(std::cout);
    tavlin::CommandScript script(document, replies, std::cerr, "tavlin-cli");
    if (commands.empty()) {
        script.RunStream(std::cin);
    } else {
        script.RunTexts(commands);
    }
    return script.ExitStatus();
}

// The servers the options ask for, until their clients are done: the
// automation server switches itself off when its client leaves; the SCPI
// server serves on, so the console ends after its first client.
int Serve(tavlin::AnalyzerDocument& document, const Options& options, tavlin::Clock& clock) {
    tavlin::AutomationServer automation(document);
    // The runner outlives the server whose session may be running it.
    tavlin::UtilityRunner utilities(document);
    tavlin::ScpiServer scpi(document);
    scpi.SetUtilityRunner(&utilities);
    if (options.automation) {
        if (!automation.Enable(*options.automation)) {
            return 1;
        }
        std::cerr << "tavlin-cli: automation on " << options.automation->address << " ports "
                  << automation.CommandPort() << " and " << automation.DataPort() << std::endl;
    }
    if (options.scpi) {
        if (!scpi.Enable(*options.scpi)) {
            return 1;
        }
        std::cerr << "tavlin-cli: SCPI server on " << options.scpi->address << " port "
                  << scpi.Port() << std::endl;
    }
    while (automation.Enabled() || (scpi.Enabled() && scpi.ClientsServed() == 0)) {
        clock.SleepMs(50);
    }
    return 0;
}

// A factory procedure on the bench the options choose.
int RunProcedure(tavlin::AnalyzerDocument& document, const Options& options,
                 tavlin::UsbDriver& usb) {
    const std::unique_ptr<tavlin::GpibBus> bench =
        tavlin::MakeGpibBus(options.bench, options.usb, usb, "tavlin-cli");
    if (!bench) {
        return 1;
    }
    const tavlin::ProcedureSetup setup{".", options.extraDelayMs};
    return tavlin::RunProcedure(document, *bench, *options.procedure, setup, std::cout, std::cerr);
}

// A continuous sweep never ends by itself: it is asked to finish the pass in
// progress, so the console always comes to an end.
void FinishSweep(tavlin::AnalyzerDocument& document, tavlin::Clock& clock) {
    document.StopAfterThisPass();
    while (document.SweepRunning()) {
        clock.SleepMs(50);
    }
}

// One sweep begun after the mask is in force, tested against it: the
// failing points, then the verdict.
int RunLimitTest(tavlin::AnalyzerDocument& document, const std::string& path,
                 tavlin::Clock& clock) {
    const tavlin::LimitMaskParse parsed = tavlin::ReadLimitMaskFile(path);
    if (!parsed.mask) {
        std::cerr << "tavlin-cli: " << parsed.error << "\n";
        return 1;
    }
    FinishSweep(document, clock);
    document.SetLimitMask(*parsed.mask);
    document.OnSingle();
    FinishSweep(document, clock);
    const tavlin::LimitVerdict verdict = document.LimitTest();
    if (document.TraceReadingFlag() != tavlin::ReadingFlag::kNone) {
        std::cerr << "tavlin-cli: the sweep was incomplete and was not tested against the mask\n";
        return kSweepIncomplete;
    }
    if (!verdict.tested) {
        std::cerr << "tavlin-cli: no sweep was tested against the mask\n";
        return 1;
    }
    const tavlin::MarkerScale scale = document.ReadSettings(
        [](const tavlin::InstrumentState& s) { return tavlin::MarkerScale::From(s); });
    for (const tavlin::LimitFailure& failure : verdict.failures) {
        std::cout << tavlin::LimitFailureLine(failure, scale) << "\n";
    }
    std::cout << tavlin::LimitVerdictText(verdict, scale.ZeroSpan()) << std::endl;
    return verdict.pass ? 0 : kLimitTestFailed;
}

// Sweeps continuously for the recording's length; the recording's end is
// told on standard error, a failed one as the exit status 1.
int RecordIq(tavlin::AnalyzerDocument& document, const Options& options, tavlin::Clock& clock) {
    std::string error;
    if (!document.StartIqRecording(*options.recordIq, *options.recordSeconds, error)) {
        std::cerr << "tavlin-cli: " << error << "\n";
        return 1;
    }
    if (!document.SweepRunning()) {
        document.OnContinuous();
    }
    while (document.IqRecording()->running && !document.CloseRequested()) {
        clock.SleepMs(50);
    }
    document.StopIqRecording();
    const tavlin::IqRecordingStatus status = *document.IqRecording();
    std::cerr << "tavlin-cli: recorded " << status.bytesWritten << " bytes in " << status.captures
              << " captures, " << status.droppedCaptures << " dropped\n";
    if (!status.message.empty()) {
        std::cerr << "tavlin-cli: " << status.message << "\n";
    }
    if (status.captures == 0 && !status.failed) {
        std::cerr << "tavlin-cli: nothing was recorded: zero span and spans up to 200 kHz "
                     "capture I/Q\n";
    }
    return status.failed ? 1 : 0;
}

// The sweep log the options ask for, fed every sweep from now on; none with
// the reason on standard error when its file cannot be made.
std::unique_ptr<tavlin::SweepLog> StartSweepLog(tavlin::AnalyzerDocument& document,
                                                const Options& options, tavlin::Clock& clock) {
    auto log = std::make_unique<tavlin::SweepLog>(options.sweepLog.settings, clock);
    if (const std::string error = log->Start(); !error.empty()) {
        std::cerr << "tavlin-cli: " << error << "\n";
        return nullptr;
    }
    std::cerr << "tavlin-cli: logging sweeps to " << log->GetStatus().file << std::endl;
    document.SetSweepRecordSink([&log = *log](const tavlin::SweepRecord& r) { log.Offer(r); });
    document.OnContinuous();
    return log;
}

// Logging alone runs until its duration is over, the log stops, or SIGINT
// or SIGTERM (Ctrl+C) ends it; beside a server it ends with the server. 1
// when the log stopped on a fault.
int FinishSweepLog(tavlin::AnalyzerDocument& document, tavlin::SweepLog& log, bool served,
                   int signals) {
    while (!served && log.Running() && !document.CloseRequested() &&
           !tavlin::StopSignalCame(signals, 50, "tavlin-cli")) {
    }
    document.SetSweepRecordSink({});
    log.Stop();
    std::cerr << "tavlin-cli: " << log.Summary() << std::endl;
    return log.GetStatus().stopReason.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    tavlin::CommandLine line(tavlin::ConsoleOptionRules());
    const bool parsed = line.Parse(std::vector<std::string>(argv + 1, argv + argc));
    // Before Qt or the instrument: they work without a display.
    if (const std::optional<int> status =
            tavlin::AnswerInformationOption(line, "tavlin-cli", tavlin::PrintConsoleUsage)) {
        return *status;
    }
    if (!parsed) {
        std::cerr << "tavlin-cli: " << line.Error() << "\n";
    }
    const std::optional<Options> options =
        parsed ? tavlin::ReadConsoleOptions(line, std::cerr) : std::nullopt;
    if (!options) {
        tavlin::PrintConsoleUsage(std::cerr);
        return kBadOptions;
    }
    // A log kept until stopped ends on Ctrl+C with its summary; blocked before
    // any thread starts. A server run keeps the signals' usual end.
    const bool logsAlone = options->sweepLog.Asked() && !options->automation && !options->scpi;
    const int stopSignals = logsAlone ? tavlin::OpenStopSignals() : -1;
    if (logsAlone && stopSignals < 0) {
        std::cerr << "tavlin-cli: cannot receive signals: " << std::strerror(errno) << "\n";
        return 1;
    }
    tavlin::EnsureRuntimeFolder();
    // Before anything that may log; it outlives every thread that does.
    tavlin::StderrLogSink logSink;
    const tavlin::ScopedLogSink log(logSink, options->logLevel);
    tavlin::SteadyClock clock;
    // Before the document, whose sweep thread feeds it until the end.
    std::unique_ptr<tavlin::SweepLog> sweepLog;
    std::unique_ptr<tavlin::UsbDriver> usb =
        tavlin::MakeUsbDriver(options->usb, clock, argv, "tavlin-cli");
    if (!usb) {
        return 1;
    }
    // The phase-noise plot is drawn with Qt's painter and fonts: only a run
    // that saves it starts Qt, on the platform that needs no display.
    std::optional<tavlin::UtilityRequest> utility = options->utility;
    std::unique_ptr<QGuiApplication> drawing;
    if (utility && utility->name == "phase-noise" && !utility->out.empty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int qtArgc = 1;
        drawing = std::make_unique<QGuiApplication>(qtArgc, argv);
        utility->renderPhaseNoise = tavlin::RenderPhaseNoisePlot;
    }
    tavlin::ConsolePrompter prompter(std::cerr, options->answers,
                                     options->automation || options->scpi
                                         ? tavlin::ConsolePrompter::Boxes::kToLog
                                         : tavlin::ConsolePrompter::Boxes::kOnStream);
    tavlin::NullViewNotifier views;
    tavlin::NullProgressSink progress;
    tavlin::AnalyzerDocument document({*usb, clock, prompter, views, progress});
    document.SetRecorderName(std::string("tavlin-cli ") + TAVLIN_VERSION);
    // "TAVLIN NOT FOUND" or "PORTn Did not open" was shown: without both
    // channels nothing the options ask for can be done, and a run that goes
    // on would print an empty identity and report success.
    if (document.CloseRequested() || !document.InstrumentConnected()) {
        return tavlin::CommandScript::kInstrumentLost;
    }
    if (options->info) {
        std::cout << tavlin::FormatInstrumentInfo(document) << std::flush;
    }
    if (options->procedure) {
        const int status = RunProcedure(document, *options, *usb);
        document.CloseDocument();
        return document.CloseRequested() ? tavlin::CommandScript::kInstrumentLost : status;
    }
    int status = 0;
    const bool serving = options->automation || options->scpi;
    const bool logging = options->sweepLog.Asked();
    const bool readsCommands =
        !options->info && !serving && !options->limitMask && !options->recordIq && !logging;
    if (!options->utility && (!options->commands.empty() || readsCommands)) {
        status = RunCommands(document, options->commands);
    } else if (options->utility) {
        status = options->commands.empty() ? 0 : RunCommands(document, options->commands);
        if (status == 0) {
            status = tavlin::RunUtility(document, *utility, std::cout, std::cerr);
        }
    }
    if (options->recordIq && status == 0) {
        status = RecordIq(document, *options, clock);
    }
    if (options->limitMask && status == 0) {
        status = RunLimitTest(document, *options->limitMask, clock);
    }
    if (logging && status == 0) {
        sweepLog = StartSweepLog(document, *options, clock);
        status = sweepLog ? 0 : 1;
    }
    if (serving) {
        status = std::max(status, Serve(document, *options, clock));
    }
    if (sweepLog) {
        status = std::max(status, FinishSweepLog(document, *sweepLog, serving, stopSignals));
    }
    FinishSweep(document, clock);
    document.CloseDocument();
    if (document.CloseRequested()) {
        return tavlin::CommandScript::kInstrumentLost;
    }
    // A script that read its numbers after a failed sweep must not take them
    // for a measurement: the run says so even when every command was done.
    return status == 0 && document.IncompleteSweeps() > 0 ? kSweepIncomplete : status;
}
