#include "panel/web/web_server.h"

#include <httplib.h>

#include <stdlib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <shared_mutex>
#include <thread>

#include "document/analyzer_document.h"
#include "panel/web/bounded_task_queue.h"
#include "panel/web/connection_relay.h"
#include "panel/web/screen_message.h"
#include "panel/web/state_file_names.h"
#include "panel/web/sweep_broadcast.h"
#include "panel/web/web_access.h"
#include "panel/web/web_controls.h"
#include "panel/web/web_page_files.h"
#include "ports/log.h"
#include "view/trace_export.h"

namespace tavlin {

namespace {

using httplib::Request;
using httplib::Response;
using Routing = httplib::Server::HandlerResponse;
using nlohmann::json;

// A page that hears nothing for this long is sent a comment, which finds a
// client that has gone away.
constexpr std::chrono::milliseconds kStreamKeepAlive{1000};
// Between notices the screen is encoded again at this pace, so that a unit
// that goes away in the middle of a long sweep is shown gone.
constexpr std::chrono::milliseconds kRefresh{1000};

constexpr int kUnauthorized = 401;
constexpr int kForbidden = 403;
constexpr int kNotFound = 404;
constexpr int kUnsupportedType = 415;
constexpr int kTooManyHeaders = 431;
constexpr int kUnavailable = 503;
constexpr int kBadRequest = 400;

void ReplyJson(Response& res, int status, const json& body) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

void ReplyError(Response& res, int status, const std::string& why) {
    ReplyJson(res, status, {{"error", why}});
}

const char* ContentType(std::string_view name) {
    if (name.ends_with(".html")) {
        return "text/html; charset=utf-8";
    }
    if (name.ends_with(".js")) {
        return "text/javascript; charset=utf-8";
    }
    if (name.ends_with(".css")) {
        return "text/css; charset=utf-8";
    }
    return "application/octet-stream";
}

const WebPageFile* FindPageFile(std::string_view name) {
    for (const WebPageFile& file : WebPageFiles()) {
        if (file.name == name) {
            return &file;
        }
    }
    return nullptr;
}

}  // namespace

struct WebServer::Impl {
    explicit Impl(WebSettings given)
        : settings(std::move(given)), states(settings.stateFolder), access("") {}

    WebSettings settings;
    StateFileNames states;
    WebAccess access;
    httplib::Server server;
    // The library listens on a socket in a folder only this user can enter;
    // the network reaches it through the relay alone.
    std::filesystem::path privateFolder;
    ConnectionRelay relay{kInboundBytesPerConnection, std::chrono::seconds(kTimeoutSeconds)};
    SweepBroadcast broadcast;
    std::atomic<int> streams{0};

    // The document of the session, while there is one.
    std::shared_mutex documentMutex;
    AnalyzerDocument* document = nullptr;
    std::optional<UnitFacts> lastUnit;
    // One key of the page at a time, as one person presses them.
    std::mutex controlMutex;

    std::mutex wakeMutex;
    std::condition_variable woken;
    std::uint64_t wakes = 0;
    bool stopping = false;

    std::thread listener;
    std::thread publisher;

    bool TakeToken(std::string& error);
    bool Listen(std::string& error);
    void Configure();
    void Route();
    Routing Admit(const Request& req, Response& res);
    void ServePageFile(const std::string& name, Response& res);
    void ServeStream(Response& res);
    void ServeCsv(Response& res);
    void ServeControl(const Request& req, Response& res);
    std::string Encode();
    void PublishLoop();
    void Wake();
    void Stop();
};

bool WebServer::Impl::TakeToken(std::string& error) {
    if (!WebAccess::NeedsToken(settings.address, settings.tokenFile.has_value())) {
        return true;
    }
    if (!settings.tokenFile) {
        error = "a web page on " + settings.address +
                ", which other machines reach, needs --token-file";
        return false;
    }
    const std::optional<std::string> token =
        WebAccess::LoadOrCreateToken(*settings.tokenFile, error);
    if (!token) {
        return false;
    }
    access = WebAccess(*token);
    return true;
}

void WebServer::Impl::Configure() {
    server.new_task_queue = [] { return new BoundedTaskQueue(kThreads, kQueuedConnections); };
    server.set_payload_max_length(kLargestBody);
    server.set_read_timeout(kTimeoutSeconds, 0);
    // A client that takes no data for this long is dropped: a stuck page
    // loses its stream, never the server's memory.
    server.set_write_timeout(kTimeoutSeconds, 0);
    server.set_keep_alive_timeout(kTimeoutSeconds);
    // A connection that asks more than this is closed by the server and
    // opened anew by the browser, well within its inbound budget.
    server.set_keep_alive_max_count(kRequestsPerConnection);
    server.set_pre_routing_handler(
        [this](const Request& req, Response& res) { return Admit(req, res); });
    Route();
}

// Every request passes here before it is routed: too many headers, a
// stranger's host name, a missing token, a key pressed on a read-only page
// or a key not sent as the page sends it end here.
Routing WebServer::Impl::Admit(const Request& req, Response& res) {
    if (req.headers.size() > static_cast<std::size_t>(kMostHeaders)) {
        res.status = kTooManyHeaders;
        return Routing::Handled;
    }
    if (access.Open() && !WebAccess::LoopbackHost(req.get_header_value("Host"))) {
        res.status = kForbidden;
        return Routing::Handled;
    }
    if (!access.Allows(req.get_header_value("Authorization"), req.get_param_value("token"),
                       req.get_header_value("Cookie"))) {
        res.status = kUnauthorized;
        res.set_header("WWW-Authenticate", "Bearer");
        return Routing::Handled;
    }
    if (req.method == "POST" && settings.readOnly) {
        ReplyError(res, kForbidden, "the page is read-only");
        return Routing::Handled;
    }
    // Another site's page may post a form here, but not JSON without asking
    // first, which this server never allows.
    if (req.method == "POST" &&
        !req.get_header_value("Content-Type").starts_with("application/json")) {
        res.status = kUnsupportedType;
        return Routing::Handled;
    }
    if (!access.Open() && req.has_param("token")) {
        res.set_header("Set-Cookie", access.Cookie());
    }
    return Routing::Unhandled;
}

void WebServer::Impl::Route() {
    server.Get("/", [this](const Request&, Response& res) { ServePageFile("index.html", res); });
    server.Get("/api/screen", [this](const Request&, Response& res) {
        const SweepBroadcast::Message latest = broadcast.Latest();
        res.set_header("Cache-Control", "no-store");
        res.set_content(latest.text ? *latest.text : Encode(), "application/json");
    });
    server.Get("/api/stream", [this](const Request&, Response& res) { ServeStream(res); });
    server.Get("/api/trace.csv", [this](const Request&, Response& res) { ServeCsv(res); });
    server.Get("/api/states", [this](const Request&, Response& res) {
        ReplyJson(res, 200, {{"states", states.List()}, {"readOnly", settings.readOnly}});
    });
    server.Post("/api/control",
                [this](const Request& req, Response& res) { ServeControl(req, res); });
    server.Get(R"(/([a-z0-9_-]+\.[a-z]+))",
               [this](const Request& req, Response& res) { ServePageFile(req.matches[1], res); });
}

void WebServer::Impl::ServePageFile(const std::string& name, Response& res) {
    const WebPageFile* file = FindPageFile(name);
    if (file == nullptr) {
        res.status = kNotFound;
        return;
    }
    res.set_header("Cache-Control", "no-cache");
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; img-src 'self' blob: data:; frame-ancestors 'none'");
    res.set_content(std::string(file->bytes), ContentType(name));
}

// Each watcher's thread sends the newest screen when there is one newer than
// the last it sent: it skips what it was too slow for, and holds one message
// at most. A write that does not go through within the write time-out
// drops the watcher.
void WebServer::Impl::ServeStream(Response& res) {
    if (streams.fetch_add(1) >= kMostStreams) {
        streams.fetch_sub(1);
        ReplyError(res, kUnavailable, "too many pages are watching");
        return;
    }
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, seen = std::uint64_t{0}](std::size_t, httplib::DataSink& sink) mutable {
            const std::optional<SweepBroadcast::Message> next =
                broadcast.WaitNewer(seen, kStreamKeepAlive);
            if (broadcast.Closed()) {
                return false;
            }
            if (!next) {
                constexpr std::string_view kComment = ": still here\n\n";
                return sink.write(kComment.data(), kComment.size());
            }
            seen = next->seq;
            const std::string event = "data: " + *next->text + "\n\n";
            return sink.write(event.data(), event.size());
        },
        [this](bool) { streams.fetch_sub(1); });
}

void WebServer::Impl::ServeCsv(Response& res) {
    std::shared_lock lock(documentMutex);
    if (document == nullptr) {
        ReplyError(res, kUnavailable, "the unit is not connected");
        return;
    }
    const MarkerScale scale =
        document->ReadSettings([](const InstrumentState& s) { return MarkerScale::From(s); });
    const auto rows =
        document->ReadTrace([](const ScreenState& screen) { return screen.trace.traceA; });
    res.set_header("Content-Disposition", "attachment; filename=\"trace.csv\"");
    res.set_header("Cache-Control", "no-store");
    res.set_content(TraceExport::Csv(scale, rows), "text/csv");
}

void WebServer::Impl::ServeControl(const Request& req, Response& res) {
    const json body = json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.contains("action") || !body["action"].is_string() ||
        (body.contains("value") && !body["value"].is_string())) {
        ReplyError(res, kBadRequest, "a key is {\"action\": NAME, \"value\": TEXT}");
        return;
    }
    const std::string action = body["action"];
    const std::string value = body.value("value", "");
    if (!WebControls::Known(action)) {
        ReplyError(res, kBadRequest, "no such key: " + action);
        return;
    }
    std::lock_guard control(controlMutex);
    std::shared_lock lock(documentMutex);
    if (document == nullptr) {
        ReplyError(res, kUnavailable, "the unit is not connected");
        return;
    }
    const std::string refusal = WebControls(*document, states).Run(action, value);
    if (!refusal.empty()) {
        ReplyError(res, kBadRequest, refusal);
        return;
    }
    Wake();
    ReplyJson(res, 200, {{"ok", true}});
}

std::string WebServer::Impl::Encode() {
    std::shared_lock lock(documentMutex);
    if (document == nullptr || !document->InstrumentConnected()) {
        return EncodeDisconnectedMessage(lastUnit);
    }
    return EncodeScreenMessage(TakePlotSnapshot(*document), ReadUnitFacts(*document),
                               ReadNewestSpectrogramRow(*document));
}

// Notices coalesce: however many came while a screen was encoded, one more
// screen follows.
void WebServer::Impl::PublishLoop() {
    std::uint64_t seen = 0;
    while (true) {
        bool noticed = false;
        {
            std::unique_lock lock(wakeMutex);
            noticed = woken.wait_for(lock, kRefresh, [&] { return stopping || wakes != seen; });
            if (stopping) {
                return;
            }
            seen = wakes;
        }
        std::string text = Encode();
        const SweepBroadcast::Message latest = broadcast.Latest();
        if (noticed || !latest.text || *latest.text != text) {
            broadcast.Publish(std::move(text));
        }
    }
}

void WebServer::Impl::Wake() {
    {
        std::lock_guard lock(wakeMutex);
        ++wakes;
    }
    woken.notify_one();
}

bool WebServer::Impl::Listen(std::string& error) {
    std::string folder = (std::filesystem::temp_directory_path() / "tavlin-web-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        error = "cannot make a private folder for the web page's socket";
        return false;
    }
    privateFolder = folder;
    const std::filesystem::path socket = privateFolder / "page.sock";
    server.set_address_family(AF_UNIX);
    // The port means nothing to a local socket, but the library wants one.
    constexpr int kUnusedPort = 80;
    if (!server.bind_to_port(socket.string(), kUnusedPort)) {
        error = "cannot listen on " + socket.string();
        return false;
    }
    if (!relay.Start(settings.address, settings.port, socket, error)) {
        return false;
    }
    listener = std::thread([this] { server.listen_after_bind(); });
    publisher = std::thread([this] { PublishLoop(); });
    return true;
}

// The watchers end first, so that the connection threads are free to end
// with the server.
void WebServer::Impl::Stop() {
    broadcast.Close();
    relay.Stop();
    {
        std::lock_guard lock(wakeMutex);
        stopping = true;
    }
    woken.notify_one();
    server.stop();
    if (listener.joinable()) {
        listener.join();
    }
    if (publisher.joinable()) {
        publisher.join();
    }
    if (!privateFolder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(privateFolder, ignored);
    }
}

WebServer::WebServer(WebSettings settings) : impl_(std::make_unique<Impl>(std::move(settings))) {}

WebServer::~WebServer() {
    impl_->Stop();
}

bool WebServer::Start(std::string& error) {
    if (!impl_->TakeToken(error)) {
        return false;
    }
    impl_->Configure();
    impl_->broadcast.Publish(EncodeDisconnectedMessage(std::nullopt));
    return impl_->Listen(error);
}

int WebServer::Port() const {
    return impl_->relay.Port();
}

const WebSettings& WebServer::Settings() const {
    return impl_->settings;
}

void WebServer::Attach(AnalyzerDocument& document) {
    {
        std::unique_lock lock(impl_->documentMutex);
        impl_->document = &document;
        impl_->lastUnit = ReadUnitFacts(document);
    }
    Wake();
}

void WebServer::Detach() {
    {
        std::unique_lock lock(impl_->documentMutex);
        impl_->document = nullptr;
    }
    Wake();
}

void WebServer::Wake() {
    impl_->Wake();
}

}  // namespace tavlin
