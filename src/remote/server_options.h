#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ports/entry_dialogs.h"
#include "remote/scpi_server.h"

namespace tavlin {

// The command-line options that start the servers:
//   --automation[=ADDR:CMDPORT:DATAPORT]   default 127.0.0.1:3976:3977
//   --scpi[=ADDR:PORT]                     default 127.0.0.1:5025
// ADDR is a numeric IPv4 or IPv6 address (brackets allowed: [::1]); a port
// of 0 lets the system choose a free one. Nothing when the argument is not
// that option or its value is not legal.
std::optional<TcpIpSettings> ParseAutomationOption(std::string_view argument);
std::optional<ScpiSettings> ParseScpiOption(std::string_view argument);

// The address a web page listens on:
//   --web[=ADDR:PORT]                      default 127.0.0.1:8080
struct ListenAddress {
    std::string address = "127.0.0.1";
    int port = 8080;
};
std::optional<ListenAddress> ParseWebOption(std::string_view argument);

//   --scpi-idle=SECONDS   a SCPI client silent this long is disconnected
//                         (default 60; 0: never; at most a day)
// The seconds, or nothing when the argument is not that option with a whole
// number of seconds in range.
inline constexpr std::string_view kScpiIdleOption = "--scpi-idle";
std::optional<int> ParseScpiIdleOption(std::string_view argument);

}  // namespace tavlin
