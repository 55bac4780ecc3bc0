// tavlin: the analyzer window.
#include <QApplication>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console_prompter.h"
#include "app/qt_application.h"
#include "app/qt_calibration_commands.h"
#include "app/qt_level_menu.h"
#include "app/qt_main_frame.h"
#include "app/qt_screenshot.h"
#include "app/qt_termination_signals.h"
#include "gpib_bus_choice.h"
#include "information_options.h"
#include "ports/clock.h"
#include "ports/rotating_file_log_sink.h"
#include "ports/scoped_log_sink.h"
#include "ports/stderr_log_sink.h"
#include "remote/automation_server.h"
#include "remote/scpi_server.h"
#include "runtime_folder.h"
#include "usb_driver_choice.h"
#include "view/qt_waterfall_view.h"
#include "window_options.h"

int main(int argc, char** argv) {
    // Before Qt or the instrument: they work without a display.
    tavlin::CommandLine given(tavlin::WindowOptionRules());
    given.Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (const std::optional<int> status =
            tavlin::AnswerInformationOption(given, "tavlin", tavlin::PrintWindowUsage)) {
        return *status;
    }
    tavlin::EnsureRuntimeFolder();
    // As given, for starting again with the virtual USB library.
    std::vector<char*> givenArguments(argv, argv + argc + 1);
    QApplication qtApplication(argc, argv);  // takes Qt's own options out of argv
    tavlin::CommandLine line(tavlin::WindowOptionRules());
    const bool parsed = line.Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed) {
        std::cerr << "tavlin: " << line.Error() << "\n";
    }
    const std::optional<tavlin::WindowOptions> options =
        parsed ? tavlin::ReadWindowOptions(line, std::cerr) : std::nullopt;
    if (!options) {
        tavlin::PrintWindowUsage(std::cerr);
        return 2;
    }
    tavlin::QtApplication::SetSettingsKey();
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVLIN_VERSION));
    // The window's log goes to its file, or to standard error when the file
    // cannot be had; it outlives every thread that logs.
    tavlin::RotatingFileLogSink logFile(tavlin::RotatingFileLogSink::DefaultPath());
    tavlin::StderrLogSink logStderr;
    const tavlin::ScopedLogSink log(
        logFile.IsOpen() ? static_cast<tavlin::LogSink&>(logFile) : logStderr, options->logLevel);
    tavlin::LogInfo("app", std::string("tavlin ") + TAVLIN_VERSION + " started");
    if (!logFile.IsOpen()) {
        tavlin::LogWarning("app", "cannot write the log file " +
                                      tavlin::RotatingFileLogSink::DefaultPath().string());
    }
    tavlin::SteadyClock clock;
    std::unique_ptr<tavlin::UsbDriver> usb =
        tavlin::MakeUsbDriver(options->usb, clock, givenArguments.data(), "tavlin");
    if (!usb) {
        return 1;
    }
    // The factory procedures' bench: the virtual one beside the virtual
    // instrument, linux-gpib otherwise (made by the window when first used).
    std::unique_ptr<tavlin::GpibBus> bench;
    if (options->usb.source == tavlin::UsbChoice::Source::kVirtual) {
        bench = tavlin::MakeGpibBus(tavlin::BenchChoice::kVirtual, options->usb, *usb, "tavlin");
    }
    // A screenshot run has nobody at the screen: its boxes go to the error
    // stream and a Yes/No box is answered No.
    tavlin::ConsolePrompter console(std::cerr, tavlin::ConsoleAnswers(false));
    tavlin::QtApplication application(*usb, clock, options->screenshot ? &console : nullptr);
    tavlin::QtTerminationSignals terminationSignals([&application] { application.Close(); });
    // A screenshot is drawn from the preset and keeps nothing, so the same
    // command gives the same picture whatever the user did in the window.
    const bool screenshot = options->screenshot.has_value();
    if (!application.Start(options->stateFile,
                           {!options->preset && !screenshot, !screenshot, options->theme})) {
        return 0;  // "TAVLIN NOT FOUND", or the start given up: the program closes in order
    }
    if (options->limitMask) {
        application.Frame().LoadLimitMaskFile(QString::fromLocal8Bit(*options->limitMask));
    }
    if (options->spectrogram) {
        if (options->waterfall) {
            application.Frame().Waterfall().SetSettings(*options->waterfall);
        }
        application.Frame().ShowSpectrogram(true);
    }
    if (options->transducer) {
        application.Frame().LevelMenu().LoadTransducerFile(
            QString::fromLocal8Bit(*options->transducer));
    }
    if (options->unit) {
        application.Frame().LevelMenu().SetUnit(*options->unit);
    }
    if (bench) {
        application.Frame().Calibration().UseBench(*bench);
    }
    // A port that cannot be had was reported; the window runs on without it.
    if (options->automation) {
        application.Frame().Automation().Enable(*options->automation);
    }
    if (options->scpi) {
        application.Frame().Scpi().Enable(*options->scpi);
    }
    // A signal while one of the boxes above was open: the window is closed
    // and nothing would ever end the event loop.
    if (application.Closing()) {
        return 0;
    }
    if (options->screenshot) {
        return tavlin::QtScreenshot::Take(
            application,
            {QString::fromStdString(*options->screenshot), options->sweeps, options->commands,
             QString::fromStdString(options->dialogButton), options->presses, options->size,
             QString::fromStdString(options->dialogPress), options->dialogRunMs});
    }
    return qtApplication.exec();
}
