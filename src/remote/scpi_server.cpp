#include "remote/scpi_server.h"

#include <optional>
#include <string_view>
#include <utility>

#include "document/analyzer_document.h"
#include "ports/log.h"
#include "ports/prompter.h"
#include "remote/automation_server.h"
#include "remote/scpi_session.h"

namespace tavlin {

ScpiServer::ScpiServer(AnalyzerDocument& document) : doc_(document) {}

ScpiServer::~ScpiServer() {
    Disable();
}

// The message is shown once the lock is released (see AutomationServer).
bool ScpiServer::Enable(const ScpiSettings& settings) {
    std::string error;
    if (Start(settings, error)) {
        return true;
    }
    LogWarning("SCPI", error);
    doc_.GetPrompter().Inform(error, AutomationServer::kListenFailedCaption);
    return false;
}

bool ScpiServer::Start(const ScpiSettings& settings, std::string& error) {
    const std::lock_guard lock(controlMutex_);
    if (Enabled()) {
        return true;
    }
    std::optional<TcpSocket> listener = tcp::Listen(settings.address, settings.port, error);
    if (!listener) {
        return false;
    }
    settings_ = settings;
    service_.Stop();
    session_ = std::make_unique<ScpiSession>(doc_);
    session_->SetUtilityRunner(runner_);
    // A line past the framer's bound is dropped whole and reported in the
    // error queue.
    TcpLineService::Setup setup;
    setup.name = "SCPI";
    setup.framing = kLineFraming;
    setup.onLine = [this](const std::string& message) { Execute(message); };
    setup.onOverlong = [this] { session_->PushError(ScpiSession::kTooMuchData); };
    setup.idleMs = settings.idleSeconds * 1000;
    setup.busyText = kBusyText;
    service_.Start(std::move(*listener), std::move(setup));
    return true;
}

void ScpiServer::Disable() {
    const std::lock_guard lock(controlMutex_);
    if (session_) {
        session_->StopWaiting();
    }
    service_.Stop([this] { doc_.ServeWaitHookAndSleep(); });
}

void ScpiServer::OnToggle() {
    if (Enabled()) {
        Disable();
        return;
    }
    ScpiSettings settings;
    {
        const std::lock_guard lock(controlMutex_);
        settings = settings_;
    }
    Enable(settings);
}

void ScpiServer::Execute(const std::string& message) {
    session_->Execute(message, [this](std::string_view text) { service_.SendPaced(text); });
}

}  // namespace tavlin
