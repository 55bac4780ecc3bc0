// libFuzzer target: a whole client session over a real loopback socket, as a
// script or a hostile peer would hold it. The first byte picks the server
// (even: the SCPI socket, odd: the automation server's command port with a
// data-port client beside it); the rest is sent as the client's bytes in one
// go, then the client half-closes and reads every reply until the server
// closes. The socket's framing, the line bound, the parser and the commands
// against a live document on the virtual unit all run, on virtual time.
//
// After each input the SCPI server must still answer a fresh client's *IDN?
// and the automation server must have switched itself off: a session that
// hangs, or leaves the port unusable for the next client, is a finding (a
// hang through libFuzzer's -timeout).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "document_bench.h"
#include "remote/automation_server.h"
#include "remote/scpi_server.h"

namespace {

// The document bench with both servers on it, the SCPI one listening for
// the whole run.
struct Bench : tavlin::fuzz::DocumentBench {
    Bench() : DocumentBench("tavlin-session-fuzz") {
        scpi = std::make_unique<tavlin::ScpiServer>(*doc);
        automation = std::make_unique<tavlin::AutomationServer>(*doc);
        tavlin::ScpiSettings settings;
        settings.port = 0;
        if (!scpi->Enable(settings)) {
            std::abort();
        }
    }

    std::unique_ptr<tavlin::ScpiServer> scpi;
    std::unique_ptr<tavlin::AutomationServer> automation;
};

Bench& TheBench() {
    static Bench* bench = new Bench();  // lives as long as the process
    return *bench;
}

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::abort();  // a server that no longer listens is a finding
    }
    return fd;
}

// Sends everything while reading what comes back (a client that does not
// read would be dropped as stalled, which is not what is being tried here).
void SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        pollfd p{fd, POLLOUT | POLLIN, -1};
        ::poll(&p, 1, -1);
        if (p.revents & POLLIN) {
            char sink[65536];
            if (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) == 0) {
                return;  // the server closed: it dropped this client
            }
        }
        if (p.revents & POLLOUT) {
            const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN) {
                return;
            }
            bytes.remove_prefix(n > 0 ? static_cast<std::size_t>(n) : 0);
        }
    }
}

// Reads until the server closes; the text, up to a bound that keeps a long
// reply from filling memory.
std::string ReadUntilClosed(int fd) {
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return text;
        }
        if (text.size() < (1u << 16)) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
}

void RunScpiClient(tavlin::ScpiServer& server, std::string_view bytes) {
    const int fd = Connect(server.Port());
    SendAll(fd, bytes);
    ::shutdown(fd, SHUT_WR);
    ReadUntilClosed(fd);
    ::close(fd);
}

void RunAutomationClient(tavlin::AutomationServer& server, std::string_view bytes) {
    tavlin::TcpIpSettings settings;
    settings.commandPort = 0;
    settings.dataPort = 0;
    if (!server.Enable(settings)) {
        std::abort();
    }
    const int data = Connect(server.DataPort());
    const int commands = Connect(server.CommandPort());
    std::thread reader([data] { ReadUntilClosed(data); });
    SendAll(commands, bytes);
    ::shutdown(commands, SHUT_WR);
    ReadUntilClosed(commands);
    ::close(commands);
    // The client has gone: the server switches itself off and so closes the
    // data port, which ends the reader.
    while (server.Enabled()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    reader.join();
    ::close(data);
}

// A fresh client is served after whatever the last one did.
void CheckScpiStillAnswers(tavlin::ScpiServer& server) {
    const int fd = Connect(server.Port());
    SendAll(fd, "*IDN?\n");
    ::shutdown(fd, SHUT_WR);
    const std::string reply = ReadUntilClosed(fd);
    ::close(fd);
    if (reply.empty() || reply.back() != '\n') {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    Bench& bench = TheBench();
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(bench.folder / "files");
    tavlin::fuzz::EmptyFolder(bench.folder / "files");
    bench.prompter.Clear();

    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0) {
        RunScpiClient(*bench.scpi, bytes);
    } else {
        RunAutomationClient(*bench.automation, bytes);
    }
    tavlin::fuzz::StopSweep(*bench.doc);
    CheckScpiStillAnswers(*bench.scpi);
    std::filesystem::current_path(started);
    return 0;
}
