// tavlin-cli: the analyzer's document on the console, for scripts and tests.
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/console_prompter.h"
#include "app/instrument_info.h"
#include "app/vudavezid.h"
#include "device/ftdi_usb_driver.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/view_notifier.h"
#include "sim/scene.h"
#include "sim/virtual_instrument.h"

namespace {

struct Options {
    bool simulate = false;
    std::string scenePath;  // empty: the built-in scene
    bool info = false;
    bool answerYes = false;
};

void PrintUsage(std::ostream& out) {
    out << "usage: tavlin-cli [--simulate[=SCENE]] [--answer yes|no] --info\n";
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg.rfind("--simulate=", 0) == 0) {
            options.simulate = true;
            options.scenePath = arg.substr(std::strlen("--simulate="));
        } else if (arg == "--info") {
            options.info = true;
        } else if (arg == "--answer" && i + 1 < argc &&
                   (std::string(argv[i + 1]) == "yes" || std::string(argv[i + 1]) == "no")) {
            options.answerYes = std::string(argv[++i]) == "yes";
        } else {
            std::cerr << "tavlin-cli: unknown option " << arg << "\n";
            return std::nullopt;
        }
    }
    return options;
}

std::unique_ptr<tavlin::UsbDriver> MakeUsbDriver(const Options& options, tavlin::Clock& clock) {
    if (!options.simulate) {
        return std::make_unique<tavlin::FtdiUsbDriver>();
    }
    tavlin::sim::Scene scene = tavlin::sim::DefaultScene();
    if (!options.scenePath.empty()) {
        tavlin::sim::SceneLoadResult loaded = tavlin::sim::LoadSceneFile(options.scenePath);
        if (!loaded.scene) {
            std::cerr << "tavlin-cli: " << loaded.error << "\n";
            return nullptr;
        }
        scene = *loaded.scene;
    }
    return std::make_unique<tavlin::sim::VirtualInstrument>(clock, scene);
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        PrintUsage(std::cerr);
        return 2;
    }
    tavlin::SteadyClock clock;
    std::unique_ptr<tavlin::UsbDriver> usb = MakeUsbDriver(*options, clock);
    if (!usb) {
        return 1;
    }
    tavlin::ConsolePrompter prompter(std::cerr, options->answerYes);
    tavlin::NullViewNotifier views;
    tavlin::NullProgressSink progress;
    tavlin::VUDAVEZid document({*usb, clock, prompter, views, progress});
    if (document.CloseRequested()) {
        return 0;  // "TAVLIN NOT FOUND": the program closes in order
    }
    if (options->info) {
        std::cout << tavlin::FormatInstrumentInfo(document) << std::flush;
    }
    document.CloseDocument();
    return 0;
}
