#include "remote/server_options.h"

#include <charconv>
#include <string>
#include <vector>

#include "remote/tcp_socket.h"

namespace tavlin {

namespace {

std::optional<int> Port(std::string_view text) {
    int port = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

// "ADDR:P1:...:Pn" split from the right, since an IPv6 address has colons
// of its own: the address and the n ports.
std::optional<std::pair<std::string, std::vector<int>>> SplitAddress(std::string_view value,
                                                                     std::size_t portCount) {
    std::vector<int> ports(portCount);
    for (std::size_t i = portCount; i-- > 0;) {
        const auto colon = value.rfind(':');
        const std::optional<int> port =
            colon == std::string_view::npos ? std::nullopt : Port(value.substr(colon + 1));
        if (!port) {
            return std::nullopt;
        }
        ports[i] = *port;
        value = value.substr(0, colon);
    }
    if (value.size() > 2 && value.front() == '[' && value.back() == ']') {
        value = value.substr(1, value.size() - 2);
    }
    if (!tcp::IsIpAddress(value)) {
        return std::nullopt;
    }
    return std::pair{std::string(value), ports};
}

// The text after "NAME=", or nothing when the argument is not that option
// with a value.
std::optional<std::string_view> OptionValue(std::string_view argument, std::string_view name) {
    if (!argument.starts_with(name) || argument.substr(name.size(), 1) != "=") {
        return std::nullopt;
    }
    return argument.substr(name.size() + 1);
}

constexpr int kLongestIdleSeconds = 86400;

}  // namespace

std::optional<TcpIpSettings> ParseAutomationOption(std::string_view argument) {
    if (argument == "--automation") {
        return TcpIpSettings{};
    }
    const std::optional<std::string_view> value = OptionValue(argument, "--automation");
    if (!value) {
        return std::nullopt;
    }
    const auto split = SplitAddress(*value, 2);
    if (!split) {
        return std::nullopt;
    }
    return TcpIpSettings{split->first, split->second[0], split->second[1]};
}

std::optional<ScpiSettings> ParseScpiOption(std::string_view argument) {
    if (argument == "--scpi") {
        return ScpiSettings{};
    }
    const std::optional<std::string_view> value = OptionValue(argument, "--scpi");
    if (!value) {
        return std::nullopt;
    }
    const auto split = SplitAddress(*value, 1);
    if (!split) {
        return std::nullopt;
    }
    return ScpiSettings{split->first, split->second[0]};
}

std::optional<ListenAddress> ParseWebOption(std::string_view argument) {
    if (argument == "--web") {
        return ListenAddress{};
    }
    const std::optional<std::string_view> value = OptionValue(argument, "--web");
    const auto split = value ? SplitAddress(*value, 1) : std::nullopt;
    if (!split) {
        return std::nullopt;
    }
    return ListenAddress{split->first, split->second[0]};
}

std::optional<int> ParseScpiIdleOption(std::string_view argument) {
    const std::optional<std::string_view> value = OptionValue(argument, kScpiIdleOption);
    if (!value) {
        return std::nullopt;
    }
    int seconds = -1;
    const auto [end, error] =
        std::from_chars(value->data(), value->data() + value->size(), seconds);
    if (error != std::errc() || end != value->data() + value->size() || seconds < 0 ||
        seconds > kLongestIdleSeconds) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace tavlin
