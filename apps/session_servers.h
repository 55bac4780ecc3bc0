#pragma once

#include <string>

#include "app/utility_runner.h"
#include "document/analyzer_document.h"
#include "panel/web/web_server.h"
#include "ports/log.h"
#include "remote/automation_server.h"
#include "remote/scpi_server.h"
#include "server_options.h"

namespace tavlin {

// The servers of one session. The web page outlives the session (it says
// the unit is gone while it is): it is handed the session's document.
class SessionServers {
  public:
    SessionServers(AnalyzerDocument& document, const ServerOptions& options, WebServer* web)
        : options_(options),
          document_(document),
          web_(web),
          automation_(document),
          utilities_(document),
          scpi_(document) {
        scpi_.SetUtilityRunner(&utilities_);
    }
    ~SessionServers() { DetachWeb(); }
    SessionServers(const SessionServers&) = delete;
    SessionServers& operator=(const SessionServers&) = delete;

    bool Start() {
        if (!StartScpi() || (options_.automation && !StartAutomation())) {
            return false;
        }
        if (web_ != nullptr) {
            web_->Attach(document_);
        }
        return true;
    }

    // Before the document closes: no key of the page reaches it after.
    void DetachWeb() {
        if (web_ != nullptr) {
            web_->Detach();
            web_ = nullptr;
        }
    }

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
    AnalyzerDocument& document_;
    WebServer* web_;
    AutomationServer automation_;
    // The runner outlives the server whose session may be running it.
    UtilityRunner utilities_;
    ScpiServer scpi_;
};

}  // namespace tavlin
