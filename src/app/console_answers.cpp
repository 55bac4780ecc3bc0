#include "app/console_answers.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <utility>

namespace tavlin {

namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::ranges::transform(upper, upper.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

std::optional<bool> YesOrNo(std::string_view word) {
    const std::string upper = Upper(word);
    if (upper == "YES") {
        return true;
    }
    if (upper == "NO") {
        return false;
    }
    return std::nullopt;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

bool ConsoleAnswers::Add(std::string_view option) {
    const std::size_t equals = option.rfind('=');
    if (equals == std::string_view::npos) {
        const std::optional<bool> yes = YesOrNo(Trimmed(option));
        if (yes) {
            fallbackYes_ = *yes;
        }
        return yes.has_value();
    }
    const std::string_view key = Trimmed(option.substr(0, equals));
    const std::optional<bool> yes = YesOrNo(Trimmed(option.substr(equals + 1)));
    if (key.empty() || !yes) {
        return false;
    }
    keyed_.push_back({Upper(key), *yes});
    return true;
}

bool ConsoleAnswers::AddFile(const std::filesystem::path& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = path.string() + ": cannot be read";
        return false;
    }
    ConsoleAnswers taken = *this;  // a bad line leaves the answers as they were
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view text = Trimmed(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        if (!taken.Add(text)) {
            error = path.string() + ":" + std::to_string(number) +
                    ": not an answer (KEY=yes, KEY=no, yes or no)";
            return false;
        }
    }
    *this = std::move(taken);
    return true;
}

bool ConsoleAnswers::Answer(std::string_view text, std::string_view caption) const {
    const std::string upperText = Upper(text);
    const std::string upperCaption = Upper(caption);
    for (const Keyed& k : keyed_) {
        if (upperCaption == k.key || upperText.find(k.key) != std::string::npos) {
            return k.yes;
        }
    }
    return fallbackYes_;
}

}  // namespace tavlin
