#include "remote/command_text.h"

#include <cctype>
#include <cstdlib>

#include "base/bounded_format.h"

namespace tavlin {

namespace {

constexpr std::size_t kKeywordLength = 3;
constexpr const char* kItemEnd = " ?-+1234567890.";

std::string Keyword(const std::string& text) {
    std::string keyword = text.substr(0, kKeywordLength);
    for (char& c : keyword) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return keyword;
}

}  // namespace

double ReadLeadingNumber(const std::string& text) {
    std::size_t used = 0;
    return ReadNumberPrefix(text, used).value_or(0.0);
}

std::optional<CommandText> CommandText::Split(const std::string& text) {
    const std::size_t separator = text.find_first_of(": ");
    if (separator == std::string::npos || separator == 0) {
        return std::nullopt;
    }
    CommandText command;
    command.group = Keyword(text.substr(0, separator));
    command.rest = text.substr(separator + 1);

    const std::size_t itemEnd = command.rest.find_first_of(kItemEnd);
    if (itemEnd == std::string::npos || itemEnd == 0) {
        command.item = Keyword(command.rest);
        command.argument = command.rest;
    } else {
        command.item = Keyword(command.rest.substr(0, itemEnd));
        command.argument = command.rest.substr(itemEnd);
    }
    command.query = command.argument.find('?', 1) != std::string::npos;
    command.value = command.query ? 1.0 : ReadLeadingNumber(command.argument);
    return command;
}

}  // namespace tavlin
