#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlin {

// How an option takes its value. Qt's parser knows no optional value; an
// optional one is given as `--scpi` or `--scpi=ADDR:PORT`, never as
// `--scpi ADDR:PORT` (the word after it is an argument of its own).
enum class OptionValue { kNone, kRequired, kOptional };

struct OptionRule {
    std::string name;  // without its dashes: "c", "log-level"
    OptionValue value = OptionValue::kNone;
};

// The options both programs take, declared once.
inline const std::vector<OptionRule>& SharedOptionRules() {
    static const std::vector<OptionRule> options = {
        {"help"},
        {"h"},
        {"version"},
        {"simulate", OptionValue::kOptional},
        {"simulate-usb", OptionValue::kOptional},
        {"log-level", OptionValue::kRequired},
        {"automation", OptionValue::kOptional},
        {"scpi", OptionValue::kOptional},
        {"scpi-idle", OptionValue::kRequired},
        {"c", OptionValue::kRequired},
        {"limit-mask", OptionValue::kRequired},
    };
    return options;
}

// A program's command line read by Qt's parser, which takes the options in
// any order, as `--name=VALUE` or `--name VALUE`, and needs no application
// object, so that --help and --version answer before Qt or the instrument
// start.
class CommandLine {
  public:
    explicit CommandLine(const std::vector<OptionRule>& programOptions)
        : rules_(SharedOptionRules()) {
        rules_.insert(rules_.end(), programOptions.begin(), programOptions.end());
        parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const OptionRule& rule : rules_) {
            QCommandLineOption option(QString::fromStdString(rule.name));
            if (rule.value != OptionValue::kNone) {
                option.setValueName(QStringLiteral("VALUE"));
            }
            parser_.addOption(option);
        }
    }

    // Reads the arguments after the program's name. False, with Error()
    // naming the option, when one is unknown or lacks its value; what was
    // read before stays readable (a --help among bad options).
    bool Parse(const std::vector<std::string>& arguments) {
        if (parser_.parse(MarkOptionalValues(arguments))) {
            return true;
        }
        const QStringList unknown = parser_.unknownOptionNames();
        error_ = unknown.isEmpty()
                     ? parser_.errorText().toStdString()
                     : "unknown option " + std::string(unknown.front().size() == 1 ? "-" : "--") +
                           unknown.front().toStdString();
        return false;
    }

    const std::string& Error() const { return error_; }

    bool IsSet(std::string_view name) const { return parser_.isSet(Name(name)); }

    // The options given, in order, repeats included: each with its value;
    // none for a flag or an optional value left out (the bare `--scpi`).
    struct Given {
        std::string name;
        std::optional<std::string> value;
    };
    std::vector<Given> InOrder() const {
        std::vector<Given> given;
        std::map<QString, qsizetype> taken;
        for (const QString& name : parser_.optionNames()) {
            const QStringList values = parser_.values(name);
            const qsizetype index = taken[name]++;
            std::optional<std::string> value;
            if (index < values.size()) {
                value = values[index].toStdString();
            }
            if (value && Find(name.toStdString())->value == OptionValue::kOptional) {
                value = value->empty() ? std::nullopt : std::optional(value->substr(1));
            }
            given.push_back({name.toStdString(), value});
        }
        return given;
    }

    std::vector<std::string> Positional() const {
        std::vector<std::string> words;
        for (const QString& word : parser_.positionalArguments()) {
            words.push_back(word.toStdString());
        }
        return words;
    }

  private:
    static QString Name(std::string_view name) {
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }

    const OptionRule* Find(std::string_view name) const {
        const auto found = std::ranges::find(rules_, name, &OptionRule::name);
        return found == rules_.end() ? nullptr : &*found;
    }

    // The one place that gives Qt's parser the optional values: `--scpi`
    // becomes `--scpi=` and `--scpi=V` becomes `--scpi==V`, so that the
    // parser always finds a value and an empty one still differs from none.
    // The value of an option that needs one is passed over, whatever it
    // looks like, and nothing after "--" is an option.
    QStringList MarkOptionalValues(const std::vector<std::string>& arguments) const {
        QStringList marked{QStringLiteral("program")};
        bool options = true;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const std::string& argument = arguments[i];
            marked << QString::fromStdString(argument);
            options = options && argument != "--";
            if (!options || !argument.starts_with('-')) {
                continue;
            }
            const std::string_view word = std::string_view(argument).substr(
                std::min(argument.find_first_not_of('-'), argument.size()));
            const std::size_t equals = word.find('=');
            const OptionRule* rule = Find(word.substr(0, equals));
            if (rule == nullptr) {
                continue;
            }
            if (rule->value == OptionValue::kOptional && argument.starts_with("--")) {
                marked.back() =
                    QString::fromStdString("--" + rule->name + "=" +
                                           (equals == std::string_view::npos
                                                ? ""
                                                : "=" + std::string(word.substr(equals + 1))));
            } else if (rule->value == OptionValue::kRequired && equals == std::string_view::npos &&
                       i + 1 < arguments.size()) {
                marked << QString::fromStdString(arguments[++i]);
            }
        }
        return marked;
    }

    std::vector<OptionRule> rules_;
    QCommandLineParser parser_;
    std::string error_;
};

}  // namespace tavlin
