#include "remote/automation_server.h"

#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "document/analyzer_document.h"
#include "ports/log.h"
#include "ports/prompter.h"
#include "remote/command_interpreter.h"

namespace tavlin {

namespace {

constexpr const char* kUnavailableText =
    "TCP client is connected.\r\nExit application to disconnect.";
constexpr const char* kUnavailableCaption = "Unavailable";
constexpr const char* kTooLongText =
    "A command longer than 65536 characters without a terminator was dropped.";
constexpr const char* kTooLongCaption = "Unrecognized Command";
constexpr std::chrono::milliseconds kDeliveryPoll{1};

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
    LogWarning("automation", error);
    doc_.GetPrompter().Inform(error, kListenFailedCaption);
    return false;
}

bool AutomationServer::Start(const TcpIpSettings& settings, std::string& error) {
    const std::lock_guard lock(controlMutex_);
    if (Enabled()) {
        return true;
    }
    StopPorts();  // those of the last client, already on their way out
    std::optional<TcpSocket> commandListener =
        tcp::Listen(settings.address, settings.commandPort, error);
    std::optional<TcpSocket> dataListener;
    if (commandListener) {
        dataListener = tcp::Listen(settings.address, settings.dataPort, error);
    }
    if (!dataListener) {
        return false;
    }
    doc_.EditSettings([&settings](InstrumentState& s) {
        s.automationAddress = settings.address;
        s.commandPort = settings.commandPort;
        s.dataPort = settings.dataPort;
    });
    reply_.Take();  // nothing of the last client goes to the next
    interpreter_ = std::make_unique<CommandInterpreter>(reply_, FileNames::PlainNamesHere);
    StartPorts(std::move(*commandListener), std::move(*dataListener));
    return true;
}

// One client per enabling: each port stops listening at its first client,
// so a second one is refused rather than left waiting, and the server
// switches itself off when the command connection closes. The data port
// takes no commands: what its client sends is read and dropped.
void AutomationServer::StartPorts(TcpSocket commandListener, TcpSocket dataListener) {
    TcpLineService::Setup data;
    data.name = "automation data";
    data.oneClient = true;
    data.stallMs = kStallMs;
    data.onConnected = [this] { ForwardReply(); };
    data_.Start(std::move(dataListener), std::move(data));
    TcpLineService::Setup commands;
    commands.name = "automation commands";
    commands.oneClient = true;
    commands.onLine = [this](const std::string& command) { RunCommand(command); };
    commands.onOverlong = [this] { doc_.GetPrompter().Inform(kTooLongText, kTooLongCaption); };
    commands.onClientGone = [this] { data_.RequestStop(); };
    commands_.Start(std::move(commandListener), std::move(commands));
}

void AutomationServer::Disable() {
    const std::lock_guard lock(controlMutex_);
    if (interpreter_) {
        interpreter_->StopWaiting();
    }
    StopPorts();
}

// The command thread may be inside a command that waits on a message box
// the calling (GUI) thread has to show: the wait hook shows it.
void AutomationServer::StopPorts() {
    data_.RequestStop();
    commands_.Stop([this] { doc_.ServeWaitHookAndSleep(); });
    data_.Stop();
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

void AutomationServer::RunCommand(const std::string& command) {
    interpreter_->Interpret(doc_, command);
    DeliverReplies();
}

// Replies wait for a client to read the data port. Up to kLargestReply of
// them wait without holding anything up; past it the command thread waits
// for the data port's client to take them, and reads no further command
// meanwhile, so a script that sends faster than it reads is slowed down and
// loses no answer. When nobody takes them for the stall time, or the data
// port's client has left for good, the command client is dropped: the
// answers it asked for can no longer reach it.
void AutomationServer::DeliverReplies() {
    auto lastTaken = std::chrono::steady_clock::now();
    std::size_t waiting = reply_.Size();
    for (ForwardReply(); reply_.Size() > PendingReply::kLargestReply; ForwardReply()) {
        const auto now = std::chrono::steady_clock::now();
        if (reply_.Size() < waiting) {
            lastTaken = now;
        }
        waiting = reply_.Size();
        const bool stalled = now - lastTaken > std::chrono::milliseconds(kStallMs);
        if (!data_.Serving() || stalled) {
            LogWarning("automation", "client dropped: nobody reads the replies it asked for");
            commands_.RequestStop();
            return;
        }
        std::this_thread::sleep_for(kDeliveryPoll);
    }
}

// A reply the data port has no room for yet goes back in front of the
// ones added since, so that the order of the answers holds.
void AutomationServer::ForwardReply() {
    const std::lock_guard lock(forwardMutex_);
    if (!data_.HasClient() || !reply_.Ready()) {
        return;
    }
    std::string text = reply_.Take();
    if (!data_.Send(text)) {
        reply_.PutBack(std::move(text));
    }
}

}  // namespace tavlin
