#include "remote/scpi_parser.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace tavlin {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool IsAlpha(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

// Splits at each separator outside a string in single or double quotes.
std::vector<std::string_view> SplitOutsideQuotes(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

// A header node: letters, then an optional number as its suffix.
std::optional<ScpiNode> ParseNode(std::string_view text) {
    std::size_t letters = 0;
    while (letters < text.size() && (IsAlpha(text[letters]) || text[letters] == '_')) {
        ++letters;
    }
    if (letters == 0 || letters > 12) {
        return std::nullopt;
    }
    ScpiNode node{ScpiUpper(text.substr(0, letters)), 0};
    const std::string_view digits = text.substr(letters);
    if (digits.empty()) {
        return node;
    }
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), node.suffix);
    if (error != std::errc() || end != digits.data() + digits.size() || node.suffix < 1) {
        return std::nullopt;
    }
    return node;
}

// "*IDN?", "*RST": a star, letters, and a question mark for a query.
bool IsCommonWord(std::string_view word) {
    if (word.size() < 2 || word.front() != '*') {
        return false;
    }
    word.remove_prefix(1);
    if (word.back() == '?') {
        word.remove_suffix(1);
    }
    for (const char c : word) {
        if (!IsAlpha(c)) {
            return false;
        }
    }
    return !word.empty();
}

ScpiUnit ParseUnit(std::string_view text, std::vector<ScpiNode>& path) {
    ScpiUnit unit;
    const auto blank = text.find_first_of(kBlanks);
    std::string_view header = text.substr(0, blank);
    if (blank != std::string_view::npos) {
        const std::string_view arguments = Trim(text.substr(blank));
        if (!arguments.empty()) {
            for (const std::string_view parameter : SplitOutsideQuotes(arguments, ',')) {
                unit.parameters.emplace_back(Trim(parameter));
            }
        }
    }
    if (header.starts_with('*')) {
        unit.common = true;
        unit.commonWord = ScpiUpper(header);
        unit.query = header.ends_with('?');
        unit.malformed = !IsCommonWord(header);
        return unit;
    }
    const bool absolute = header.starts_with(':');
    if (absolute) {
        header.remove_prefix(1);
    }
    unit.query = header.ends_with('?');
    if (unit.query) {
        header.remove_suffix(1);
    }
    unit.nodes = absolute ? std::vector<ScpiNode>{} : path;
    for (const std::string_view piece : SplitOutsideQuotes(header, ':')) {
        const std::optional<ScpiNode> node = ParseNode(piece);
        if (!node) {
            unit.malformed = true;
            return unit;
        }
        unit.nodes.push_back(*node);
    }
    path.assign(unit.nodes.begin(), unit.nodes.end() - 1);
    return unit;
}

}  // namespace

std::string ScpiUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

std::vector<ScpiUnit> ParseScpiMessage(std::string_view message) {
    std::vector<ScpiUnit> units;
    std::vector<ScpiNode> path;
    for (const std::string_view piece : SplitOutsideQuotes(message, ';')) {
        const std::string_view text = Trim(piece);
        if (!text.empty()) {
            units.push_back(ParseUnit(text, path));
        }
    }
    return units;
}

ScpiPattern::ScpiPattern(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        Node node;
        if (text[i] == '[') {
            node.optional = true;
            ++i;
        }
        if (i < text.size() && text[i] == ':') {
            ++i;
        }
        while (i < text.size() && IsAlpha(text[i])) {
            if (std::isupper(static_cast<unsigned char>(text[i])) != 0) {
                node.shortForm.push_back(text[i]);
            }
            node.longForm.push_back(
                static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))));
            ++i;
        }
        if (i < text.size() && text[i] == '#') {
            node.takesSuffix = true;
            ++i;
        }
        if (i < text.size() && text[i] == ']') {
            ++i;
        }
        nodes_.push_back(node);
    }
}

std::optional<int> ScpiPattern::Match(const std::vector<ScpiNode>& header) const {
    int suffix = 1;
    if (MatchFrom(header, 0, 0, suffix)) {
        return suffix;
    }
    return std::nullopt;
}

bool ScpiPattern::MatchFrom(const std::vector<ScpiNode>& header, std::size_t h, std::size_t p,
                            int& suffix) const {
    if (p == nodes_.size()) {
        return h == header.size();
    }
    const Node& node = nodes_[p];
    if (h < header.size()) {
        const ScpiNode& given = header[h];
        const bool named = given.mnemonic == node.shortForm || given.mnemonic == node.longForm;
        if (named && (node.takesSuffix || given.suffix == 0) &&
            MatchFrom(header, h + 1, p + 1, suffix)) {
            if (node.takesSuffix && given.suffix != 0) {
                suffix = given.suffix;
            }
            return true;
        }
    }
    return node.optional && MatchFrom(header, h, p + 1, suffix);
}

std::optional<ScpiNumber> ParseScpiNumber(std::string_view text) {
    text = Trim(text);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    ScpiNumber number;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number.value);
    if (error != std::errc() || !std::isfinite(number.value)) {
        return std::nullopt;
    }
    number.unit = ScpiUpper(Trim(text.substr(static_cast<std::size_t>(end - text.data()))));
    return number;
}

}  // namespace tavlin
