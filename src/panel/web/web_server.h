#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "ports/view_notifier.h"

namespace tavlin {

class AnalyzerDocument;

// What the web page is served with (tavlin-server --web, --token-file,
// --read-only).
struct WebSettings {
    std::string address = "127.0.0.1";
    int port = 8080;  // 0: a free port
    std::optional<std::filesystem::path> tokenFile;
    bool readOnly = false;
    // Where the state files the page lists and loads are; nothing else of
    // the disk is ever served.
    std::filesystem::path stateFolder = ".";
};

// The analyzer's screen and front panel as a web page, served by the
// program itself: the page's own files (compiled in), the screen of every
// sweep as a stream of events, the keys, the trace as CSV and the state
// files of its folder. It outlives the unit: a session attaches its
// document and detaches it when the unit is gone, and meanwhile the page
// says the unit is disconnected.
//
// The document tells it of every sweep and every change as its view
// notifier; the notice only wakes the thread that encodes the screen.
class WebServer final : public ViewNotifier {
  public:
    // The bounds of what a client may cost.
    static constexpr int kThreads = 40;
    static constexpr int kQueuedConnections = 16;
    static constexpr int kMostStreams = 32;
    static constexpr int kMostHeaders = 64;
    static constexpr int kLargestBody = 64 * 1024;
    static constexpr int kTimeoutSeconds = 5;
    // What one connection may send in all: the largest body and headers
    // many times over, far below what would weigh on memory.
    static constexpr std::size_t kInboundBytesPerConnection = 1024 * 1024;
    static constexpr int kRequestsPerConnection = 100;

    explicit WebServer(WebSettings settings);
    ~WebServer() override;
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Reads or makes the token, listens and starts serving. False, with the
    // reason, when the token or the address cannot be had.
    bool Start(std::string& error);
    int Port() const;
    const WebSettings& Settings() const;

    void Attach(AnalyzerDocument& document);
    // Waits for a key the page is pressing to finish, then serves the page
    // without the unit.
    void Detach();

    void UpdateAllViews() override { Wake(); }
    void InvalidateTrace() override { Wake(); }

  private:
    struct Impl;
    void Wake();

    std::unique_ptr<Impl> impl_;
};

}  // namespace tavlin
