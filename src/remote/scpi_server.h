#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "remote/tcp_line_service.h"

namespace tavlin {

class AnalyzerDocument;
class ScpiSession;
class ScpiUtilityRunner;

struct ScpiSettings {
    static constexpr int kDefaultIdleSeconds = 60;
    std::string address = "127.0.0.1";
    int port = 5025;  // the usual port of raw SCPI sockets
    // A client that sends no command for this long is disconnected, so that
    // a forgotten session does not keep the instrument from everyone; 0: never.
    int idleSeconds = kDefaultIdleSeconds;
};

// The SCPI socket: one connection carries commands and replies, each program
// message ended by a line feed, as bench instruments serve it to VISA
// libraries and plain sockets. Clients are served one after the other: one
// instrument has one set of settings, and a second client changing them
// under the first would spoil both its readings. A client that comes while
// another is served is told kBusyText and closed at once, and a client idle
// for ScpiSettings::idleSeconds is disconnected. The server stays on after
// a client leaves, until it is switched off.
class ScpiServer {
  public:
    static constexpr const char* kMenuText = "Enable SCPI Server";
    static constexpr const char* kBusyText =
        "BUSY: the instrument is in use by another SCPI client; try again later";

    explicit ScpiServer(AnalyzerDocument& document);
    ~ScpiServer();
    ScpiServer(const ScpiServer&) = delete;
    ScpiServer& operator=(const ScpiServer&) = delete;

    // Listens and starts serving; a port that cannot be listened on is
    // reported once, with the port and the reason (false).
    bool Enable(const ScpiSettings& settings);
    // What runs MEASure:RECeiver?, :HARMonics?, :PNOise? and the listener
    // into a file; it must outlive the server. Takes effect at the next
    // Enable; without one those answer -221.
    void SetUtilityRunner(ScpiUtilityRunner* runner) { runner_ = runner; }
    // Ends the service and closes the sockets (a command waiting on a
    // message box is served through the document's wait hook meanwhile).
    void Disable();
    // The menu item: Disable, or Enable with the settings last used.
    void OnToggle();

    bool Enabled() const { return service_.Serving(); }
    bool Connected() const { return service_.HasClient(); }
    int Port() const { return service_.Port(); }
    // Clients that have come and gone since the server started.
    int ClientsServed() const { return service_.ClientsServed(); }
    // The most reply text that has waited for a client at once.
    std::size_t PeakPendingOutput() const { return service_.PeakPendingOutput(); }

  private:
    bool Start(const ScpiSettings& settings, std::string& error);
    void Execute(const std::string& message);

    AnalyzerDocument& doc_;
    std::recursive_mutex controlMutex_;  // as in AutomationServer
    ScpiSettings settings_;
    std::unique_ptr<ScpiSession> session_;
    ScpiUtilityRunner* runner_ = nullptr;
    TcpLineService service_;
};

}  // namespace tavlin
