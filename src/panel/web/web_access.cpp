#include "panel/web/web_access.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/atomic_file.h"
#include "remote/tcp_socket.h"

namespace tavlin {

namespace {

constexpr std::size_t kTokenBytes = 24;
constexpr std::size_t kLongestTokenFile = 4096;
constexpr std::string_view kCookieName = "tavlin_token=";

std::optional<std::string> RandomToken(std::string& error) {
    unsigned char bytes[kTokenBytes];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        error = std::string("no random token: ") + std::strerror(errno);
        return std::nullopt;
    }
    constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes) {
        token.push_back(kHex[b >> 4]);
        token.push_back(kHex[b & 15]);
    }
    return token;
}

// O_EXCL: a file that appears meanwhile is never overwritten.
bool WriteNewTokenFile(const std::filesystem::path& file, const std::string& token,
                       std::string& error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create the token file " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    const std::string line = token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = "cannot write the token file " + file.string();
        return false;
    }
    return true;
}

std::string FirstLine(const std::vector<std::uint8_t>& content) {
    std::string line;
    for (const std::uint8_t c : content) {
        if (c == '\n' || c == '\r') {
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
        line.pop_back();
    }
    return line;
}

std::string_view CookieValue(std::string_view header) {
    std::size_t at = 0;
    while (at < header.size()) {
        while (at < header.size() && header[at] == ' ') {
            ++at;
        }
        const std::size_t end = std::min(header.find(';', at), header.size());
        const std::string_view pair = header.substr(at, end - at);
        if (pair.starts_with(kCookieName)) {
            return pair.substr(kCookieName.size());
        }
        at = end + 1;
    }
    return {};
}

}  // namespace

bool WebAccess::NeedsToken(const std::string& address, bool tokenFileGiven) {
    return tokenFileGiven || !tcp::IsLoopbackAddress(address);
}

std::optional<std::string> WebAccess::LoadOrCreateToken(const std::filesystem::path& file,
                                                        std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec))) {
        const std::optional<std::string> token = RandomToken(error);
        if (!token || !WriteNewTokenFile(file, *token, error)) {
            return std::nullopt;
        }
        return token;
    }
    std::vector<std::uint8_t> content;
    if (!ReadWholeFile(file, kLongestTokenFile, content, error)) {
        return std::nullopt;
    }
    std::string token = FirstLine(content);
    if (token.size() < kShortestToken) {
        error = "the token file " + file.string() + " holds no token of at least " +
                std::to_string(kShortestToken) + " characters";
        return std::nullopt;
    }
    return token;
}

bool WebAccess::Matches(std::string_view given) const {
    unsigned difference = given.size() == token_.size() ? 0u : 1u;
    for (std::size_t i = 0; i < token_.size(); ++i) {
        const char g = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(g ^ token_[i]);
    }
    return difference == 0;
}

bool WebAccess::Allows(std::string_view authorization, std::string_view queryToken,
                       std::string_view cookieHeader) const {
    if (Open()) {
        return true;
    }
    constexpr std::string_view kBearer = "Bearer ";
    if (authorization.starts_with(kBearer) && Matches(authorization.substr(kBearer.size()))) {
        return true;
    }
    if (!queryToken.empty() && Matches(queryToken)) {
        return true;
    }
    const std::string_view cookie = CookieValue(cookieHeader);
    return !cookie.empty() && Matches(cookie);
}

std::string WebAccess::Cookie() const {
    return std::string(kCookieName) + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

bool WebAccess::LoopbackHost(std::string_view host) {
    std::string_view name = host;
    if (name.starts_with('[')) {
        const std::size_t close = name.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        name = name.substr(1, close - 1);
    } else if (const std::size_t colon = name.rfind(':'); colon != std::string_view::npos) {
        name = name.substr(0, colon);
    }
    return name == "localhost" || tcp::IsLoopbackAddress(name);
}

}  // namespace tavlin
