#include "base/csv_lines.h"

namespace tavlin {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr const char* kBlanks = " \t\r";

}  // namespace

CsvLines::CsvLines(std::string_view text) : rest_(text) {
    if (rest_.starts_with(kByteOrderMark)) {
        rest_.remove_prefix(kByteOrderMark.size());
    }
}

bool CsvLines::Next(std::string_view& line) {
    while (!rest_.empty()) {
        const auto end = rest_.find('\n');
        line = Trimmed(rest_.substr(0, end));
        rest_ = end == std::string_view::npos ? std::string_view{} : rest_.substr(end + 1);
        ++lineNumber_;
        if (!line.empty() && line.front() != '#') {
            return true;
        }
    }
    return false;
}

std::string_view CsvLines::Trimmed(std::string_view field) {
    const auto first = field.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = field.find_last_not_of(kBlanks);
    return field.substr(first, last - first + 1);
}

}  // namespace tavlin
