#include "remote/command_interpreter.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>

#include "base/bounded_format.h"
#include "base/reading_flag.h"
#include "document/analyzer_document.h"
#include "document/level_settings.h"
#include "document/marker_commands.h"
#include "document/sweep_pause.h"
#include "ports/clock.h"
#include "ports/prompter.h"
#include "remote/command_text.h"
#include "remote/reply_sink.h"

namespace tavlin {

namespace {

constexpr const char* kUnrecognizedCommand = "Unrecognized Command";
constexpr const char* kUnrecognizedQuery = "Unrecognized query";
constexpr const char* kReplyFormat = "%.3f\r\n";

// A reading as the screen shows it ("-31.200 INCOMPLETE"), ended as every
// reply is.
std::string FlaggedReply(const std::string& number, ReadingFlag flag) {
    return FlaggedReadingText(number, flag) + "\r\n";
}

// One row of the command table.
struct CommandRow {
    const char* group;
    const char* item;
    bool takesValue;
    void (*run)(AnalyzerDocument& doc, double value);
};

void SetCenter(AnalyzerDocument& doc, double centerHz) {
    doc.SetCenter(centerHz);
}

void SetStart(AnalyzerDocument& doc, double startHz) {
    doc.SetStartFreq(startHz);
}

void SetStop(AnalyzerDocument& doc, double stopHz) {
    doc.SetStopFreq(stopHz);
}

void SetSpan(AnalyzerDocument& doc, double spanHz) {
    doc.SetSpan(spanHz);
}

void SetRefLevel(AnalyzerDocument& doc, double refLevelDbm) {
    SetReferenceLevel(doc, refLevelDbm);
}

void MarkerPeak(AnalyzerDocument& doc, double) {
    MarkerCommands markers(doc);
    markers.Off();
    markers.Peak();
}

void MarkerNormal(AnalyzerDocument& doc, double) {
    MarkerCommands markers(doc);
    markers.Off();
    markers.Normal();
}

void TriggerSingle(AnalyzerDocument& doc, double) {
    doc.OnSingle();
}

void TriggerContinuous(AnalyzerDocument& doc, double) {
    doc.OnContinuous();
}

// The link is reset with the sweep stopped: from the automation thread it
// would otherwise use the channels while the sweep thread does. The end of
// the pause forgets the LO plan.
void ResetUsb(AnalyzerDocument& doc, double) {
    SweepPause pause(doc);
    pause.Instrument().Link().ResetLink(true);
    doc.ReloadIncompleteCalibration();
}

constexpr std::array<CommandRow, 10> kCommandTable{{
    {"FRE", "CEN", true, SetCenter},
    {"FRE", "STA", true, SetStart},
    {"FRE", "STO", true, SetStop},
    {"FRE", "SPA", true, SetSpan},
    {"AMP", "RLE", true, SetRefLevel},
    {"MAR", "PEA", false, MarkerPeak},
    {"MAR", "NOR", false, MarkerNormal},
    {"TRI", "SIN", false, TriggerSingle},
    {"TRI", "CON", false, TriggerContinuous},
    {"USB", "RES", false, ResetUsb},
}};

// Blanks around a file name are the command's, not the name's: "SAV s1.pqz "
// saves s1.pqz.
std::string FileName(const std::string& rest) {
    const auto first = rest.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = rest.find_last_not_of(" \t");
    return rest.substr(first, last - first + 1);
}

std::string UpperTrimmed(const std::string& text) {
    std::string result = text;
    while (!result.empty() && std::isspace(static_cast<unsigned char>(result.back()))) {
        result.pop_back();
    }
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

}  // namespace

int CommandInterpreter::Interpret(AnalyzerDocument& document, const std::string& command) {
    if (InterpretCommon(document, command)) {
        return kDone;
    }
    const std::optional<CommandText> split = CommandText::Split(command);
    if (!split) {
        document.GetPrompter().Inform(command, kUnrecognizedCommand);
        return kUnrecognized;
    }
    const bool fileCommand = split->group == "REC" || split->group == "SAV";
    const std::string fileName = FileName(split->rest);
    if (fileCommand && !fileName.empty() && !IsAllowedFileName(fileName, fileNames_)) {
        document.GetPrompter().Inform(command, kUnrecognizedCommand);
        return kUnrecognized;
    }
    if (split->group == "REC") {
        return RecallState(document, fileName) ? kDone : kFileCommandFailed;
    }
    if (split->group == "SAV") {
        return SaveState(document, fileName) ? kDone : kFileCommandFailed;
    }
    if (split->query) {
        return InterpretQuery(document, *split, command);
    }
    return InterpretCommand(document, *split) ? kDone : kNoMatch;
}

// The common commands are whole words; any other text that begins with "*"
// goes through the instrument's own grammar as it always did.
bool CommandInterpreter::InterpretCommon(AnalyzerDocument& document, const std::string& command) {
    if (command.empty() || command.front() != '*') {
        return false;
    }
    const std::string word = UpperTrimmed(command);
    if (word == "*IDN?") {
        const std::string identity = document.ReadSettings(
            [](const InstrumentState& s) { return s.deviceSerial + "," + s.firmwareVersion; });
        replies_.AppendReply(std::string("Tavlin,") + kModel + "," + identity + "\r\n");
    } else if (word == "*RST") {
        document.OnPreset();
    } else if (word == "*WAI") {
        WaitForSweepToEnd(document, stopWaiting_);
    } else if (word == "*OPC?") {
        WaitForSweepToEnd(document, stopWaiting_);
        replies_.AppendReply("1\r\n");
    } else {
        return false;
    }
    return true;
}

// Continuous sweeping never ends by itself: there the wait lasts until a
// pass that began after this command is complete, so a script's next query
// reads a trace swept with the settings it sent. The wait wakes when a pass
// completes; the slice only bounds how late a stop is seen.
void WaitForSweepToEnd(AnalyzerDocument& document, const std::atomic<bool>& stop) {
    const std::uint64_t firstPassAfter = document.PassesStarted() + 1;
    while (document.SweepRunning() && !stop.load()) {
        const bool continuous = !document.StopRequested();
        const std::uint64_t completed = document.PassesCompleted();
        if (continuous && completed >= firstPassAfter) {
            return;
        }
        document.WaitForSweepProgress(completed,
                                      std::chrono::milliseconds(CommandInterpreter::kWaitPollMs));
    }
}

int CommandInterpreter::InterpretQuery(AnalyzerDocument& document, const CommandText& command,
                                       const std::string& text) {
    if (command.group == "TRA") {
        ReplyTrace(document);
        return kDone;
    }
    if (command.group == "MEA") {
        return ReplyMeasurement(document, command.item);
    }
    if (command.group != "MAR") {
        document.GetPrompter().Inform(text, kUnrecognizedQuery);
        return kUnrecognized;
    }
    const MarkerState markers = MarkerCommands(document).Snapshot();
    const ReadingFlag flag = document.TraceReadingFlag();
    if (command.item == "FRE") {
        replies_.AppendReply(FlaggedReply(FormatText("%.3f", markers.marker1Pos), flag));
    } else if (command.item == "AMP") {
        const ReadingFlag levelFlag = MarkerCommands(document).LevelReadingFlag(markers, false);
        replies_.AppendReply(FlaggedReply(FormatText("%.3f", markers.marker1Level), levelFlag));
    } else {
        return kNoMatch;
    }
    return kDone;
}

// MEA:CHP? gives channel power (dBm) and density (dBm/Hz), MEA:OBW? the
// occupied bandwidth and frequency error (Hz). A trace that cannot be
// integrated has no reading: both fields read "NOT MEASURED", so that a
// script waiting for its line gets one it can test.
int CommandInterpreter::ReplyMeasurement(AnalyzerDocument& document, const std::string& item) {
    std::optional<std::array<double, 2>> values;
    ReadingFlag flag = ReadingFlag::kNotMeasured;
    if (item == "CHP") {
        if (const auto reading = document.ChannelPower()) {
            values = {reading->powerDbm, reading->densityDbmHz};
            flag = reading->flag;
        }
    } else if (item == "OBW") {
        if (const auto reading = document.OccupiedBandwidth()) {
            values = {reading->bandwidthHz, reading->freqErrorHz};
            flag = reading->flag;
        }
    } else {
        return kNoMatch;
    }
    if (values) {
        flag = WorseReadingFlag(flag, document.TraceReadingFlag());
    }
    const std::array<double, 2> shown = values.value_or(std::array<double, 2>{});
    replies_.AppendReply(FlaggedReadingText(FormatText("%.3f", shown[0]), flag) + "," +
                         FlaggedReadingText(FormatText("%.3f", shown[1]), flag) + "\r\n");
    return kDone;
}

// At the levels the rows were measured, whatever the scale has become since.
void CommandInterpreter::ReplyTrace(AnalyzerDocument& document) {
    const MarkerScale scale = MarkerCommands(document).RowsScale();
    const auto rows =
        document.ReadTrace([](const ScreenState& screen) { return screen.trace.traceA; });
    std::string reply;
    reply.reserve(rows.size() * 16);
    for (const double row : rows) {
        reply += FormatText(kReplyFormat, scale.LevelOfRow(row));
    }
    replies_.AppendReply(reply);
}

// A number that is not finite passes every clamp on its way to the sweep,
// so a command carrying one does nothing.
bool CommandInterpreter::InterpretCommand(AnalyzerDocument& document, const CommandText& command) {
    for (const CommandRow& row : kCommandTable) {
        if (command.group != row.group || command.item != row.item) {
            continue;
        }
        if (row.takesValue && !std::isfinite(command.value)) {
            return true;
        }
        row.run(document, command.value);
        return true;
    }
    return false;
}

// Loading a state file reprograms the instrument through the level plan:
// the whole recall runs with the sweep stopped.
bool CommandInterpreter::RecallState(AnalyzerDocument& document, const std::string& fileName) {
    if (fileName.empty()) {
        document.GetPrompter().Inform("REC needs the name of a state file", "UNABLE TO OPEN");
        return false;
    }
    const SweepPause pause(document);
    return document.LoadStateFile(fileName, false);  // the document keeps its name
}

// A remote copy: the document keeps its own name.
bool CommandInterpreter::SaveState(AnalyzerDocument& document, const std::string& fileName) {
    if (fileName.empty()) {
        document.GetPrompter().Inform("SAV needs the name of a state file", "UNABLE TO SAVE");
        return false;
    }
    return document.SaveStateFile(fileName, false);
}

}  // namespace tavlin
