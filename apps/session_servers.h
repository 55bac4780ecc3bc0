#pragma once

#include <string>

#include "app/utility_runner.h"
#include "document/analyzer_document.h"
#include "ports/log.h"
#include "remote/automation_server.h"
#include "remote/scpi_server.h"
#include "server_options.h"

namespace tavlin {

// The servers of one session. A third one (the web page) starts here beside
// them, on the same document.
class SessionServers {
  public:
    SessionServers(AnalyzerDocument& document, const ServerOptions& options)
        : options_(options), automation_(document), utilities_(document), scpi_(document) {
        scpi_.SetUtilityRunner(&utilities_);
    }

    bool Start() { return StartScpi() && (!options_.automation || StartAutomation()); }

    // The automation server switches itself off when its client leaves: it
    // is switched on again for the next.
    void KeepServing() {
        if (options_.automation && !automation_.Enabled()) {
            StartAutomation();
        }
    }

  private:
    bool StartScpi() {
        if (!scpi_.Enable(*options_.scpi)) {
            return false;
        }
        LogInfo("server",
                "SCPI on " + options_.scpi->address + " port " + std::to_string(scpi_.Port()));
        return true;
    }
    bool StartAutomation() {
        if (!automation_.Enable(*options_.automation)) {
            return false;
        }
        LogInfo("server", "automation on " + options_.automation->address + " ports " +
                              std::to_string(automation_.CommandPort()) + " and " +
                              std::to_string(automation_.DataPort()));
        return true;
    }

    const ServerOptions& options_;
    AutomationServer automation_;
    // The runner outlives the server whose session may be running it.
    UtilityRunner utilities_;
    ScpiServer scpi_;
};

}  // namespace tavlin
