#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "remote/tcp_socket.h"

namespace tavlin {

class AnalyzerDocument;
class ScpiSession;

struct ScpiSettings {
    std::string address = "127.0.0.1";
    int port = 5025;  // the usual port of raw SCPI sockets
};

// The SCPI socket: one connection carries commands and replies, each program
// message ended by a line feed, as bench instruments serve it to VISA
// libraries and plain sockets. Clients are served one after the other; the
// server stays on after a client leaves, until it is switched off.
class ScpiServer {
  public:
    static constexpr const char* kMenuText = "Enable SCPI Server";

    explicit ScpiServer(AnalyzerDocument& document);
    ~ScpiServer();
    ScpiServer(const ScpiServer&) = delete;
    ScpiServer& operator=(const ScpiServer&) = delete;

    // Listens and starts the server's thread; a port that cannot be listened
    // on is reported once, with the port and the reason (false).
    bool Enable(const ScpiSettings& settings);
    // Ends the thread and closes the sockets (a command waiting on a
    // message box is served through the document's wait hook meanwhile).
    void Disable();
    // The menu item: Disable, or Enable with the settings last used.
    void OnToggle();

    bool Enabled() const { return enabled_.load(); }
    bool Connected() const { return connected_.load(); }
    int Port() const { return port_.load(); }
    // Clients that have come and gone since the server started.
    int ClientsServed() const { return clientsServed_.load(); }

  private:
    bool Start(const ScpiSettings& settings, std::string& error);
    void ThreadMain(TcpSocket listener);
    void Serve(const TcpSocket& connection);

    AnalyzerDocument& doc_;
    std::recursive_mutex controlMutex_;  // as in AutomationServer
    ScpiSettings settings_;
    std::atomic<bool> enabled_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> threadDone_{true};
    std::atomic<int> port_{0};
    std::atomic<int> clientsServed_{0};
    std::unique_ptr<ScpiSession> session_;
    std::thread thread_;
};

}  // namespace tavlin
