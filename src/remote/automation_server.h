#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "ports/entry_dialogs.h"
#include "remote/pending_reply.h"
#include "remote/tcp_line_service.h"

namespace tavlin {

class AnalyzerDocument;
class CommandInterpreter;

// The automation server: commands arrive on the command port, the replies to
// queries leave on the data port, a separate connection. There is one client
// per enabling: once it has connected, the listening sockets close (a second
// client is refused), and when it closes its command connection the server
// switches itself off.
//
// Each port is a TcpLineService, so Disable, a client's departure and the
// program's end stop both promptly and release both ports.
class AutomationServer {
  public:
    static constexpr const char* kEnableText = "Enable Automation";
    static constexpr const char* kDisableText = "Disable Automation";
    static constexpr const char* kConnectedText = "TCP Connected!";
    static constexpr const char* kListenFailedCaption = "TCP/IP ERROR";
    // Replies past the bound that nobody takes for this long drop the client.
    static constexpr int kStallMs = 30000;

    explicit AutomationServer(AnalyzerDocument& document);
    ~AutomationServer();
    AutomationServer(const AutomationServer&) = delete;
    AutomationServer& operator=(const AutomationServer&) = delete;

    // Listens on both ports and starts the data and command threads. A port
    // that cannot be listened on is reported once, with the port and the
    // reason, and the server stays off (false).
    bool Enable(const TcpIpSettings& settings);
    // Ends both threads and closes every socket. A command thread that waits
    // on a message box is served through the document's wait hook meanwhile,
    // so the wait ends with the box.
    void Disable();

    bool Enabled() const { return commands_.Serving(); }
    bool Connected() const { return commands_.HasClient(); }
    // The ports listened on; with port 0 the ones the system chose.
    int CommandPort() const { return commands_.Port(); }
    int DataPort() const { return data_.Port(); }

    // Advanced, "Enable Automation": the TCP/IP dialog and Enable, or
    // Disable, or "Unavailable" while a client is connected.
    void OnEnableAutomation(EntryDialogs& dialogs);
    std::string MenuText() const;
    bool MenuEnabled() const { return !Connected(); }

  private:
    // False, with the reason, when a port cannot be listened on.
    bool Start(const TcpIpSettings& settings, std::string& error);
    void StartPorts(TcpSocket commandListener, TcpSocket dataListener);
    void RunCommand(const std::string& command);
    // Hands the waiting replies on, waiting while more than
    // PendingReply::kLargestReply of them are not taken.
    void DeliverReplies();
    // Hands the waiting replies to the data port's client, if one is there
    // and has room for them; else they keep waiting.
    void ForwardReply();
    void StopPorts();

    AnalyzerDocument& doc_;
    // Enable and Disable. Recursive: a box served while Disable waits turns
    // the event loop, which may close the window and so disable again.
    std::recursive_mutex controlMutex_;
    std::mutex forwardMutex_;
    PendingReply reply_;
    std::unique_ptr<CommandInterpreter> interpreter_;
    TcpLineService commands_;
    TcpLineService data_;
};

}  // namespace tavlin
