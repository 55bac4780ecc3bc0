#pragma once

#include <optional>
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

}  // namespace tavlin
