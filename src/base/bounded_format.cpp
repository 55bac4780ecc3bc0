#include "base/bounded_format.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>

namespace tavlin {

namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";

// The "C" numeric rules, made once and kept for the program's life.
locale_t ClassicNumbers() {
    static const locale_t classic = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    return classic;
}

// Switches the calling thread to the "C" numeric rules for one formatting;
// other threads, and the window's own number display, keep theirs.
class ClassicNumbersHere {
  public:
    ClassicNumbersHere() : previous_(uselocale(ClassicNumbers())) {}
    ~ClassicNumbersHere() { uselocale(previous_); }
    ClassicNumbersHere(const ClassicNumbersHere&) = delete;
    ClassicNumbersHere& operator=(const ClassicNumbersHere&) = delete;

  private:
    locale_t previous_;
};

}  // namespace

std::string FormatText(const char* format, ...) {
    const ClassicNumbersHere classic;
    char small[128];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (needed < 0) {
        va_end(again);
        return text;
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(needed));
    } else {
        text.resize(static_cast<std::size_t>(needed));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

std::optional<double> ReadNumberPrefix(std::string_view text, std::size_t& used) {
    used = 0;
    std::size_t start = std::min(text.find_first_not_of(kBlanks), text.size());
    const bool plus = start < text.size() && text[start] == '+';
    if (plus) {
        ++start;
    }
    const char* first = text.data() + start;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (end == first || (plus && start < text.size() && text[start] == '-')) {
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone; strtod's answer is the
        // infinity for a huge number and zero for a tiny one.
        const bool negative = *first == '-';
        const std::size_t exponent = std::string_view(first, end - first).find_first_of("eE");
        const bool tiny = exponent != std::string_view::npos && first[exponent + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        value = negative ? -value : value;
    }
    used = static_cast<std::size_t>(end - text.data());
    return value;
}

std::optional<double> ReadFiniteNumber(std::string_view text) {
    std::size_t used = 0;
    const std::optional<double> value = ReadNumberPrefix(text, used);
    const bool trailing = text.find_first_not_of(kBlanks, used) != std::string_view::npos;
    if (!value || trailing || !std::isfinite(*value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace tavlin
