#include "remote/automation_server.h"

#include <chrono>
#include <optional>

#include "document/analyzer_document.h"
#include "ports/prompter.h"
#include "remote/command_framer.h"
#include "remote/command_interpreter.h"

namespace tavlin {

namespace {

constexpr std::size_t kReadBufferBytes = 4096;
constexpr std::chrono::milliseconds kReplyPoll{tcp::kPollMs};
constexpr const char* kUnavailableText =
    "TCP client is connected.\r\nExit application to disconnect.";
constexpr const char* kUnavailableCaption = "Unavailable";
constexpr const char* kTooLongText =
    "A command longer than 65536 characters without a terminator was dropped.";
constexpr const char* kTooLongCaption = "Unrecognized Command";
constexpr const char* kRepliesDroppedText = "Replies were dropped: no client reads the data port.";

}  // namespace

AutomationServer::AutomationServer(AnalyzerDocument& document) : doc_(document) {}

AutomationServer::~AutomationServer() {
    Disable();
}

// The message is shown once the lock is released: a box turns the event
// loop, and whatever it runs may disable the server.
bool AutomationServer::Enable(const TcpIpSettings& settings) {
    std::string error;
    if (Start(settings, error)) {
        return true;
    }
    doc_.GetPrompter().Inform(error, kListenFailedCaption);
    return false;
}

bool AutomationServer::Start(const TcpIpSettings& settings, std::string& error) {
    const std::lock_guard lock(controlMutex_);
    if (enabled_.load()) {
        return true;
    }
    JoinThreads();  // those of the last client, already on their way out
    std::optional<TcpSocket> commandListener =
        tcp::Listen(settings.address, settings.commandPort, error);
    std::optional<TcpSocket> dataListener;
    if (commandListener) {
        dataListener = tcp::Listen(settings.address, settings.dataPort, error);
    }
    if (!dataListener) {
        return false;
    }
    commandPort_ = tcp::BoundPort(*commandListener);
    dataPort_ = tcp::BoundPort(*dataListener);
    doc_.EditSettings([&settings](InstrumentState& s) {
        s.automationAddress = settings.address;
        s.commandPort = settings.commandPort;
        s.dataPort = settings.dataPort;
    });
    reply_.Take();  // nothing of the last client goes to the next
    reply_.TakeDropped();
    interpreter_ = std::make_unique<CommandInterpreter>(reply_, FileNames::PlainNamesHere);
    enabled_ = true;
    commandThreadDone_ = false;
    dataThread_ = std::thread(&AutomationServer::DataThreadMain, this, std::move(*dataListener));
    commandThread_ =
        std::thread(&AutomationServer::CommandThreadMain, this, std::move(*commandListener));
    return true;
}

void AutomationServer::Disable() {
    const std::lock_guard lock(controlMutex_);
    enabled_ = false;
    reply_.Wake();
    if (interpreter_) {
        interpreter_->StopWaiting();
    }
    JoinThreads();
}

// The command thread may be inside a command that waits on a message box
// the calling (GUI) thread has to show: the wait hook shows it.
void AutomationServer::JoinThreads() {
    while (!commandThreadDone_.load()) {
        doc_.ServeWaitHookAndSleep();
    }
    if (commandThread_.joinable()) {
        commandThread_.join();
    }
    if (dataThread_.joinable()) {
        dataThread_.join();
    }
}

void AutomationServer::OnEnableAutomation(EntryDialogs& dialogs) {
    if (Connected()) {
        doc_.GetPrompter().Inform(kUnavailableText, kUnavailableCaption);
        return;
    }
    if (Enabled()) {
        Disable();
        return;
    }
    if (const std::optional<TcpIpSettings> settings = dialogs.EnterTcpIp(TcpIpSettings{})) {
        Enable(*settings);
    }
}

std::string AutomationServer::MenuText() const {
    if (Connected()) {
        return kConnectedText;
    }
    return Enabled() ? kDisableText : kEnableText;
}

// One client per enabling: the listening socket closes at the first accept,
// so a second client is refused rather than left waiting.
void AutomationServer::CommandThreadMain(TcpSocket listener) {
    std::optional<TcpSocket> connection = tcp::AcceptWhile(listener, enabled_);
    listener.Close();
    if (connection) {
        connected_ = true;
        Serve(*connection);
    }
    // The menu must never read "Disable Automation" for a server that is off.
    enabled_ = false;
    connected_ = false;
    reply_.Wake();  // the data thread ends now, not at its next poll
    commandThreadDone_ = true;
}

void AutomationServer::Serve(const TcpSocket& connection) {
    CommandFramer framer;
    bool droppedReported = false;
    char buffer[kReadBufferBytes];
    while (enabled_.load()) {
        const long count = tcp::ReadSome(connection, buffer, sizeof buffer);
        if (count < 0) {
            return;  // the client closed the connection
        }
        for (long i = 0; i < count && enabled_.load(); ++i) {
            const std::optional<std::string> command = framer.Add(buffer[i]);
            if (framer.TakeOverflow()) {
                doc_.GetPrompter().Inform(kTooLongText, kTooLongCaption);
            }
            if (!command) {
                continue;
            }
            interpreter_->Interpret(doc_, *command);
            if (reply_.TakeDropped() && !droppedReported) {
                droppedReported = true;
                doc_.GetPrompter().Inform(kRepliesDroppedText, kListenFailedCaption);
            }
        }
    }
}

// A client that has gone ends this thread; replies then wait, bounded, until
// the server is switched off.
void AutomationServer::DataThreadMain(TcpSocket listener) {
    std::optional<TcpSocket> connection = tcp::AcceptWhile(listener, enabled_);
    listener.Close();
    if (!connection) {
        return;
    }
    while (enabled_.load()) {
        if (reply_.WaitReady(kReplyPoll, enabled_) &&
            !tcp::SendAll(*connection, reply_.Take(), enabled_)) {
            return;
        }
    }
}

}  // namespace tavlin
