// tavlin-server: one instrument swept without a person, served over the
// network until a signal ends it.

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console_prompter.h"
#include "document/analyzer_document.h"
#include "document/state_file.h"
#include "information_options.h"
#include "panel/web/web_server.h"
#include "ports/clock.h"
#include "ports/log.h"
#include "ports/progress_sink.h"
#include "ports/scoped_log_sink.h"
#include "ports/stderr_log_sink.h"
#include "ports/view_notifier.h"
#include "runtime_folder.h"
#include "server_options.h"
#include "session_servers.h"
#include "stop_signals.h"
#include "sweep_keeper.h"
#include "unit_usb_driver.h"
#include "usb_driver_choice.h"
#include "view/sweep_log.h"

namespace {

using Options = tavlin::ServerOptions;

constexpr int kServerFailed = 1;
constexpr int kBadOptionsOrState = 2;
constexpr int kInstrumentNotFound = 3;
constexpr int kWatchMs = 100;
constexpr int kRetryMs = 3000;

// SIGTERM and SIGINT end the server between any two steps of its loop.
bool SignalCame(int signals, int ms) {
    return tavlin::StopSignalCame(signals, ms, "server");
}

enum class SessionEnd { kSignal, kLost, kNotOpened, kRefusedState, kServerFailed };

// The settings a session starts from: the last session's when the unit came
// back, else the state file's.
bool ApplyStartingState(tavlin::AnalyzerDocument& document, const Options& options,
                        const std::optional<tavlin::StateRecord>& resume) {
    if (resume) {
        document.RestoreState(*resume);
        return true;
    }
    if (options.statePath && !document.LoadStateFile(*options.statePath, false)) {
        std::cerr << "tavlin-server: the state file " << *options.statePath << " was refused\n";
        return false;
    }
    return true;
}

// One life of the document, from opening the unit until a signal comes or
// the unit is lost for good; `settings` keeps what it swept with.
SessionEnd RunSession(const tavlin::DocumentPorts& ports, const tavlin::UnitUsbDriver& unit,
                      const Options& options, tavlin::WebServer* web, int signals,
                      std::optional<tavlin::StateRecord>& settings, tavlin::SweepLog* log) {
    tavlin::AnalyzerDocument document(ports);
    document.SetRecorderName(std::string("tavlin-server ") + TAVLIN_VERSION);
    if (document.CloseRequested() || !document.InstrumentConnected()) {
        return SessionEnd::kNotOpened;
    }
    if (!ApplyStartingState(document, options, settings)) {
        return SessionEnd::kRefusedState;
    }
    tavlin::SessionServers servers(document, options, web);
    if (!servers.Start()) {
        return SessionEnd::kServerFailed;
    }
    tavlin::SweepKeeper sweep(document, unit);
    if (log != nullptr) {
        document.SetSweepRecordSink([log](const tavlin::SweepRecord& r) { log->Offer(r); });
    }
    document.OnContinuous();
    SessionEnd end = SessionEnd::kSignal;
    while (!SignalCame(signals, kWatchMs)) {
        if (document.CloseRequested()) {
            end = SessionEnd::kLost;
            break;
        }
        servers.KeepServing();
        sweep.Check();
        if (log != nullptr && !log->Running()) {
            document.SetSweepRecordSink({});
        }
    }
    servers.DetachWeb();
    settings = document.SnapshotState();
    // Stops a sweep in the middle of its pass rather than at its end.
    document.CloseDocument();
    return end;
}

// Sessions one after another while the unit comes and goes; the exit status.
int Serve(const tavlin::DocumentPorts& ports, const tavlin::UnitUsbDriver& unit,
          const Options& options, tavlin::WebServer* web, int signals, tavlin::SweepLog* log) {
    std::optional<tavlin::StateRecord> settings;
    bool everOpened = false;
    while (true) {
        const SessionEnd end = RunSession(ports, unit, options, web, signals, settings, log);
        switch (end) {
            case SessionEnd::kSignal:
                return 0;
            case SessionEnd::kRefusedState:
                return kBadOptionsOrState;
            case SessionEnd::kServerFailed:
                return kServerFailed;
            case SessionEnd::kNotOpened:
                if (!everOpened) {
                    return kInstrumentNotFound;
                }
                break;
            case SessionEnd::kLost:
                everOpened = true;
                tavlin::LogWarning("server", "the instrument is lost; looking for it every " +
                                                 std::to_string(kRetryMs / 1000) + " s");
                break;
        }
        if (SignalCame(signals, kRetryMs)) {
            return 0;
        }
    }
}

// The web page, when asked for: it is served from before the unit is found
// until the program ends.
std::unique_ptr<tavlin::WebServer> StartWebPage(const Options& options) {
    if (!options.web) {
        return nullptr;
    }
    auto web = std::make_unique<tavlin::WebServer>(*options.web);
    std::string error;
    if (!web->Start(error)) {
        std::cerr << "tavlin-server: " << error << "\n";
        return nullptr;
    }
    tavlin::LogInfo("server", "web page on " + options.web->address + " port " +
                                  std::to_string(web->Port()) +
                                  (options.web->tokenFile ? ", token required" : "") +
                                  (options.web->readOnly ? ", read-only" : ""));
    return web;
}

}  // namespace

int main(int argc, char** argv) {
    tavlin::CommandLine line(tavlin::ServerOptionRules());
    const bool parsed = line.Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (const std::optional<int> status =
            tavlin::AnswerInformationOption(line, "tavlin-server", tavlin::PrintServerUsage)) {
        return *status;
    }
    if (!parsed) {
        std::cerr << "tavlin-server: " << line.Error() << "\n";
    }
    const std::optional<Options> options =
        parsed ? tavlin::ReadServerOptions(line, std::cerr) : std::nullopt;
    if (!options) {
        tavlin::PrintServerUsage(std::cerr);
        return kBadOptionsOrState;
    }
    const int signals = tavlin::OpenStopSignals();
    if (signals < 0) {
        // Blocked signals nobody reads would leave the program unstoppable.
        std::cerr << "tavlin-server: cannot receive signals: " << strerror(errno) << "\n";
        return kServerFailed;
    }
    tavlin::EnsureRuntimeFolder();
    // Before anything that may log; it outlives every thread that does.
    tavlin::StderrLogSink logSink;
    const tavlin::ScopedLogSink log(logSink, options->logLevel);
    tavlin::SteadyClock clock;
    std::unique_ptr<tavlin::UsbDriver> usb =
        tavlin::MakeUsbDriver(options->usb, clock, argv, "tavlin-server");
    if (!usb) {
        return kServerFailed;
    }
    tavlin::UnitUsbDriver unit(*usb, options->serial.value_or(""));
    if (options->serial && !unit.UnitListed()) {
        std::cerr << "tavlin-server: no unit with serial " << *options->serial << " is connected\n";
        return kInstrumentNotFound;
    }
    tavlin::ConsolePrompter prompter(std::cerr, options->answers,
                                     tavlin::ConsolePrompter::Boxes::kToLog);
    const std::unique_ptr<tavlin::WebServer> web = StartWebPage(*options);
    if (options->web && !web) {
        return kServerFailed;
    }
    // The page hears of every sweep and change as a window would.
    tavlin::NullViewNotifier noViews;
    tavlin::ViewNotifier& views = web ? static_cast<tavlin::ViewNotifier&>(*web) : noViews;
    tavlin::NullProgressSink progress;
    // One log for every session: a unit that comes back logs on in the same file.
    std::unique_ptr<tavlin::SweepLog> sweepLog;
    if (options->sweepLog.Asked()) {
        sweepLog = std::make_unique<tavlin::SweepLog>(options->sweepLog.settings, clock);
        if (const std::string error = sweepLog->Start(); !error.empty()) {
            std::cerr << "tavlin-server: " << error << "\n";
            return kServerFailed;
        }
    }
    const int status = Serve({unit, clock, prompter, views, progress}, unit, *options, web.get(),
                             signals, sweepLog.get());
    if (sweepLog) {
        sweepLog->Stop();
        tavlin::LogInfo("server", sweepLog->Summary());
    }
    return status;
}
