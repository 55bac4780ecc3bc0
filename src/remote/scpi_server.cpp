#include "remote/scpi_server.h"

#include <optional>
#include <utility>

#include "document/analyzer_document.h"
#include "ports/prompter.h"
#include "remote/automation_server.h"
#include "remote/command_framer.h"
#include "remote/scpi_session.h"

namespace tavlin {

namespace {
constexpr std::size_t kReadBufferBytes = 4096;
}

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
    doc_.GetPrompter().Inform(error, AutomationServer::kListenFailedCaption);
    return false;
}

bool ScpiServer::Start(const ScpiSettings& settings, std::string& error) {
    const std::lock_guard lock(controlMutex_);
    if (enabled_.load()) {
        return true;
    }
    std::optional<TcpSocket> listener = tcp::Listen(settings.address, settings.port, error);
    if (!listener) {
        return false;
    }
    settings_ = settings;
    port_ = tcp::BoundPort(*listener);
    session_ = std::make_unique<ScpiSession>(doc_);
    enabled_ = true;
    threadDone_ = false;
    thread_ = std::thread(&ScpiServer::ThreadMain, this, std::move(*listener));
    return true;
}

void ScpiServer::Disable() {
    const std::lock_guard lock(controlMutex_);
    enabled_ = false;
    if (session_) {
        session_->StopWaiting();
    }
    while (!threadDone_.load()) {
        doc_.ServeWaitHookAndSleep();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
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

void ScpiServer::ThreadMain(TcpSocket listener) {
    while (enabled_.load()) {
        std::optional<TcpSocket> connection = tcp::AcceptWhile(listener, enabled_);
        if (!connection) {
            break;
        }
        connected_ = true;
        Serve(*connection);
        connection->Close();
        connected_ = false;
        ++clientsServed_;
    }
    threadDone_ = true;
}

// Lines end at a line feed; a carriage return before it is dropped with the
// blanks. A line longer than the framer's bound is dropped whole and
// reported in the error queue.
void ScpiServer::Serve(const TcpSocket& connection) {
    std::string line;
    bool dropping = false;
    char buffer[kReadBufferBytes];
    while (enabled_.load()) {
        const long count = tcp::ReadSome(connection, buffer, sizeof buffer);
        if (count < 0) {
            return;  // the client closed the connection
        }
        for (long i = 0; i < count && enabled_.load(); ++i) {
            if (buffer[i] != '\n') {
                if (!dropping && line.size() < CommandFramer::kLongestCommand) {
                    line.push_back(buffer[i]);
                } else if (!std::exchange(dropping, true)) {
                    std::string().swap(line);
                    session_->PushError(ScpiSession::kTooMuchData);
                }
                continue;
            }
            const std::string reply = dropping ? std::string() : session_->Execute(line);
            line.clear();
            dropping = false;
            if (!reply.empty() && !tcp::SendAll(connection, reply, enabled_)) {
                return;  // the client has gone
            }
        }
    }
}

}  // namespace tavlin
