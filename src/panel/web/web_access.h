#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavlin {

// Who may use the web page. On a loopback address only this machine's users
// reach it, and it is open unless a token file is given; any other address
// needs a token on every request and on the stream.
class WebAccess {
  public:
    static constexpr std::size_t kShortestToken = 16;

    static bool NeedsToken(const std::string& address, bool tokenFileGiven);
    // The token the file holds (its first line), or, where the file does not
    // exist, a new random one written to a new file readable by its owner
    // alone. Nothing, with the reason, when neither can be had or the file
    // holds a token shorter than kShortestToken.
    static std::optional<std::string> LoadOrCreateToken(const std::filesystem::path& file,
                                                        std::string& error);

    // Open to everyone with an empty token.
    explicit WebAccess(std::string token) : token_(std::move(token)) {}
    bool Open() const { return token_.empty(); }
    const std::string& Token() const { return token_; }
    // The token as the page gives it: "Bearer T" in the Authorization
    // header, ?token=T in the address (the first load, the event stream), or
    // the cookie the first load set. Compared in time independent of where
    // a guess goes wrong.
    bool Allows(std::string_view authorization, std::string_view queryToken,
                std::string_view cookieHeader) const;
    // "tavlin_token=T; ...": the cookie that lets the page's own files and
    // its stream in after the first load.
    std::string Cookie() const;

    // Where no token guards the page, only a browser that asked for this
    // machine by name or loopback address is answered: a page elsewhere
    // that renames its own host to 127.0.0.1 gets nothing.
    static bool LoopbackHost(std::string_view host);

  private:
    bool Matches(std::string_view given) const;

    std::string token_;
};

}  // namespace tavlin
