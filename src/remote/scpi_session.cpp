#include "remote/scpi_session.h"

#include <cctype>
#include <cmath>
#include <filesystem>

#include "base/bounded_format.h"
#include "document/analyzer_document.h"
#include "remote/command_interpreter.h"
#include "remote/remote_file_name.h"

namespace tavlin {

namespace {

constexpr double kLowestRefLevelDbm = -200.0;
constexpr double kHighestRefLevelDbm = 100.0;

const char* ErrorText(int code) {
    switch (code) {
        case ScpiSession::kExecutionError:
            return "Execution error";
        case ScpiSession::kSyntaxError:
            return "Syntax error";
        case ScpiSession::kDataTypeError:
            return "Data type error";
        case ScpiSession::kParameterNotAllowed:
            return "Parameter not allowed";
        case ScpiSession::kMissingParameter:
            return "Missing parameter";
        case ScpiSession::kUndefinedHeader:
            return "Undefined header";
        case ScpiSession::kSuffixOutOfRange:
            return "Header suffix out of range";
        case ScpiSession::kInvalidSuffix:
            return "Invalid suffix";
        case ScpiSession::kSettingsConflict:
            return "Settings conflict";
        case ScpiSession::kDataOutOfRange:
            return "Data out of range";
        case ScpiSession::kTooMuchData:
            return "Too much data";
        case ScpiSession::kIllegalParameterValue:
            return "Illegal parameter value";
        case ScpiSession::kDataCorruptOrStale:
            return "Data corrupt or stale";
        case ScpiSession::kDataQuestionable:
            return "Data questionable";
        case ScpiSession::kMassStorageError:
            return "Mass storage error";
        case ScpiSession::kFileNameNotFound:
            return "File name not found";
        case ScpiSession::kFileNameError:
            return "File name error";
        case ScpiSession::kQueueOverflow:
            return "Queue overflow";
        default:
            return "Error";
    }
}

std::string Unquoted(const std::string& text) {
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// "POSitive" -> "POS", "TRACe1" -> "TRAC1".
std::string ShortForm(std::string_view word) {
    std::string text;
    for (const char c : word) {
        if (std::isupper(static_cast<unsigned char>(c)) ||
            std::isdigit(static_cast<unsigned char>(c))) {
            text += c;
        }
    }
    return text;
}

}  // namespace

const std::vector<ScpiSession::Row>& ScpiSession::Table() {
    using S = ScpiSession;
    static const std::vector<Row> table{
        {"[SENSe]:FREQuency:CENTer", &S::SetCenter, &S::QueryCenter},
        {"[SENSe]:FREQuency:SPAN", &S::SetSpan, &S::QuerySpan},
        {"[SENSe]:FREQuency:STARt", &S::SetStart, &S::QueryStart},
        {"[SENSe]:FREQuency:STOP", &S::SetStop, &S::QueryStop},
        {"DISPlay:WINDow:TRACe:Y[:SCALe]:RLEVel", &S::SetRefLevel, &S::QueryRefLevel},
        {"[SENSe]:POWer[:RF]:ATTenuation", &S::SetAttenuation, &S::QueryAttenuation},
        {"[SENSe]:BANDwidth[:RESolution]", &S::SetResolutionBandwidth,
         &S::QueryResolutionBandwidth},
        {"[SENSe]:AVERage:COUNt", &S::SetAverageCount, &S::QueryAverageCount},
        {"INITiate[:IMMediate]", &S::Initiate, nullptr},
        {"INITiate:CONTinuous", &S::SetContinuous, &S::QueryContinuous},
        {"[CALCulate]:MARKer#:MAXimum[:PEAK]", &S::MarkerMaximum, nullptr},
        {"[CALCulate]:MARKer#:X", &S::SetMarkerX, &S::QueryMarkerX},
        {"[CALCulate]:MARKer#:Y", nullptr, &S::QueryMarkerY},
        {"[CALCulate]:MARKer#:SET:CENTer", &S::MarkerToCenter, nullptr},
        {"TRACe[:DATA]", nullptr, &S::QueryTrace, kTracePoints},
        {"MEASure:CHPower:STATe", &S::SetChannelPowerOn, &S::QueryChannelPowerOn},
        {"MEASure:OBWidth:STATe", &S::SetOccupiedBandwidthOn, &S::QueryOccupiedBandwidthOn},
        {"MMEMory:STORe:STATe", &S::StoreState, nullptr},
        {"MMEMory:LOAD:STATe", &S::LoadState, nullptr},
        {"MMEMory:LOAD:LIMit", &S::LoadLimitMask, nullptr},
        {"CALCulate:LIMit:FAIL", nullptr, &S::QueryLimitFail},
        {"SYSTem:ERRor[:NEXT]", nullptr, &S::QueryNextError},
        {"[SENSe]:BANDwidth[:RESolution]:AUTO", &S::SetResolutionBandwidthAuto,
         &S::QueryResolutionBandwidthAuto},
        {"[SENSe]:BANDwidth:VIDeo", &S::SetVideoBandwidth, &S::QueryVideoBandwidth},
        {"[SENSe]:BANDwidth:VIDeo:AUTO", &S::SetVideoBandwidthAuto, &S::QueryVideoBandwidthAuto},
        {"[SENSe]:SWEep:TIME", nullptr, &S::QuerySweepTime},
        {"[SENSe]:SWEep:POINts", &S::SetSweepPoints, &S::QuerySweepPoints},
        {"[SENSe]:DETector[:FUNCtion]", &S::SetDetector, &S::QueryDetector},
        {"[SENSe]:DETector[:FUNCtion]:AUTO", &S::SetDetectorAuto, &S::QueryDetectorAuto},
        {"DISPlay:WINDow:TRACe:MODE", &S::SetTraceMode, &S::QueryTraceMode},
        {"UNIT:POWer", &S::SetPowerUnit, &S::QueryPowerUnit},
        {"INPut:GAIN:STATe", &S::SetPreamplifier, &S::QueryPreamplifier},
        {"FORMat[:DATA]", &S::SetDataFormat, &S::QueryDataFormat},
        {"FORMat:BORDer", &S::SetByteOrder, &S::QueryByteOrder},
        {"[CALCulate]:MARKer#[:STATe]", &S::SetMarkerOn, &S::QueryMarkerOn},
        {"[CALCulate]:MARKer#:AOFF", &S::MarkersOff, nullptr},
        {"[CALCulate]:MARKer#:MAXimum:NEXT", &S::MarkerNextPeak, nullptr},
        {"[CALCulate]:MARKer#:MAXimum:LEFT", &S::MarkerPeakLeft, nullptr},
        {"[CALCulate]:MARKer#:MAXimum:RIGHt", &S::MarkerPeakRight, nullptr},
        {"[CALCulate]:MARKer#:FUNCtion:NOISe[:STATe]", &S::SetMarkerNoise, &S::QueryMarkerNoise},
        {"CALCulate:DELTamarker#[:STATe]", &S::SetDeltaMarker, &S::QueryDeltaMarker},
        {"CALCulate:DELTamarker#:X", nullptr, &S::QueryDeltaX},
        {"CALCulate:DELTamarker#:Y", nullptr, &S::QueryDeltaY},
        {"[CALCulate]:MARKer#:COUNt[:STATe]", &S::SetCounter, &S::QueryCounter},
        {"[CALCulate]:MARKer#:COUNt:FREQuency", nullptr, &S::QueryCounterFrequency},
        {"STATus:OPERation[:EVENt]", nullptr, &S::QueryOperationEvent},
        {"STATus:OPERation:CONDition", nullptr, &S::QueryOperationCondition},
        {"STATus:OPERation:ENABle", &S::SetOperationEnable, &S::QueryOperationEnable},
        {"STATus:PRESet", &S::PresetStatus, nullptr},
        {"SYSTem:ERRor:ALL", nullptr, &S::QueryAllErrors},
        {"SYSTem:VERSion", nullptr, &S::QueryVersion},
        // Measurements from a script: the readings of a sweep, the utilities.
        {"MEASure:CHPower", nullptr, &S::MeasureChannelPower, 2},
        {"MEASure:OBWidth", nullptr, &S::MeasureOccupiedBandwidth, 2},
        {"READ:CHPower", nullptr, &S::ReadChannelPower, 2},
        {"READ:OBWidth", nullptr, &S::ReadOccupiedBandwidth, 2},
        {"FETCh:CHPower", nullptr, &S::FetchChannelPower, 2},
        {"FETCh:OBWidth", nullptr, &S::FetchOccupiedBandwidth, 2},
        {"RECeiver:IFBandwidth", &S::SetIfBandwidth, &S::QueryIfBandwidth},
        {"RECeiver:AFILter", &S::SetAudioFilter, &S::QueryAudioFilter},
        {"RECeiver:SHOW:AM", &S::SetShowAm, &S::QueryShowAm},
        {"RECeiver:SHOW:FM", &S::SetShowFm, &S::QueryShowFm},
        {"MEASure:RECeiver", nullptr, &S::MeasureReceiver, kScpiReceiverFields},
        {"MEASure:HARMonics", nullptr, &S::MeasureHarmonics, 2 * kScpiHarmonics},
        {"MEASure:PNOise", nullptr, &S::MeasurePhaseNoise, 2 * kScpiPhaseNoisePoints},
        {"MMEMory:STORe:AUDio", &S::StoreAudio, nullptr},
        {"MMEMory:STORe:IQ", &S::StoreIq, &S::QueryIq, 4},
        {"MMEMory:STORe:IQ:STOP", &S::StopIq, nullptr},
    };
    return table;
}

std::string ScpiSession::Execute(const std::string& message) {
    std::string text;
    Execute(message, [&text](std::string_view part) { text += part; });
    return text;
}

// Every query is answered, so that a client reading a line per query never
// waits for ever: a query that could not be run answers not-a-number.
void ScpiSession::Execute(const std::string& message, const ReplyOut& out) {
    Replies replies(out);
    for (const ScpiUnit& unit : ParseScpiMessage(message)) {
        const int answered = replies.Count();
        const std::size_t errorsBefore = errorsQueued_;
        if (unit.malformed) {
            PushError(kSyntaxError);
        } else if (unit.common) {
            RunCommon(unit, replies);
        } else {
            Run(unit, replies);
        }
        if (unit.query && replies.Count() == answered) {
            replies.Add(NoAnswer(1, errorsBefore));
        }
    }
    if (replies.Any()) {
        out("\n");
    }
}

void ScpiSession::Replies::Add(const std::string& reply) {
    if (any_) {
        out_(";");
    }
    out_(reply);
    any_ = true;
    ++count_;
}

void ScpiSession::PushError(int code) {
    Queue({code, ErrorText(code)});
}

void ScpiSession::PushReadingFlag(ReadingFlag flag) {
    ScpiReadingError error = ScpiErrorOfReadingFlag(flag);
    if (error.code != 0) {
        Queue({error.code, std::move(error.text)});
    }
}

void ScpiSession::FlagUncalibratedLevels() {
    if (!doc_.CalibrationUntrusted().empty()) {
        PushReadingFlag(ReadingFlag::kUncalibrated);
    }
}

void ScpiSession::Queue(QueuedError error) {
    status_.NoteError(error.code);
    ++errorsQueued_;
    if (errors_.size() >= kErrorQueueLength) {
        errors_.back() = {kQueueOverflow, ErrorText(kQueueOverflow)};
        return;
    }
    errors_.push_back(std::move(error));
}

void ScpiSession::Run(const ScpiUnit& unit, Replies& replies) {
    for (const Row& row : Table()) {
        const std::optional<int> suffix = row.pattern.Match(unit.nodes);
        if (!suffix) {
            continue;
        }
        const Handler handler = unit.query ? row.query : row.set;
        if (handler == nullptr) {
            break;
        }
        Call call{unit, *suffix, {}};
        const std::size_t errorsBefore = errorsQueued_;
        (this->*handler)(call);
        if (unit.query) {
            replies.Add(call.reply.empty() ? NoAnswer(row.values, errorsBefore) : call.reply);
        }
        return;
    }
    PushError(kUndefinedHeader);
}

void ScpiSession::RunCommon(const ScpiUnit& unit, Replies& replies) {
    const std::string& word = unit.commonWord;
    if (word == "*IDN?") {
        const std::string identity = doc_.ReadSettings(
            [](const InstrumentState& s) { return s.deviceSerial + "," + s.firmwareVersion; });
        replies.Add(std::string("Tavlin,") + CommandInterpreter::kModel + "," + identity);
    } else if (word == "*RST") {
        doc_.OnPreset();
        ResetSessionSettings();
        receiver_ = {};
    } else if (word == "*WAI" || word == "*OPC?") {
        WaitForSweep();
        if (unit.query) {
            replies.Add("1");
        }
    } else if (!RunStatusWord(unit, replies)) {
        PushError(kUndefinedHeader);
    }
}

void ScpiSession::WaitForSweep() {
    WaitForSweepToEnd(doc_, stopWaiting_);
}

// --- Parameters ---------------------------------------------------------------------------

bool ScpiSession::CheckParameterCount(const ScpiUnit& unit, std::size_t least, std::size_t most) {
    if (unit.parameters.size() < least) {
        PushError(kMissingParameter);
        return false;
    }
    if (unit.parameters.size() > most) {
        PushError(kParameterNotAllowed);
        return false;
    }
    return true;
}

std::optional<ScpiNumber> ScpiSession::OneNumber(const Call& call) {
    if (!CheckParameterCount(call.unit, 1, 1)) {
        return std::nullopt;
    }
    std::optional<ScpiNumber> number = ParseScpiNumber(call.unit.parameters[0]);
    if (!number) {
        PushError(kDataTypeError);
    }
    return number;
}

std::optional<double> ScpiSession::Frequency(const Call& call) {
    const std::optional<ScpiNumber> number = OneNumber(call);
    if (!number) {
        return std::nullopt;
    }
    double scale = 0.0;
    for (const auto& [unit, factor] :
         {std::pair{"", 1.0}, {"HZ", 1.0}, {"KHZ", 1e3}, {"MHZ", 1e6}, {"GHZ", 1e9}}) {
        scale = number->unit == unit ? factor : scale;
    }
    if (scale == 0.0) {
        PushError(kInvalidSuffix);
        return std::nullopt;
    }
    const double hz = number->value * scale;
    if (!(hz >= 0.0 && hz <= kMaxFreqHz)) {
        PushError(kDataOutOfRange);
        return std::nullopt;
    }
    return hz;
}

// A level in the unit of UNIT:POWer, or in the unit written after it.
std::optional<double> ScpiSession::Level(const Call& call) {
    const std::optional<ScpiNumber> number = OneNumber(call);
    if (!number) {
        return std::nullopt;
    }
    const std::optional<ScpiPowerUnit> unit =
        number->unit.empty() ? powerUnit_ : ScpiPowerUnitNamed(number->unit);
    if (!unit) {
        PushError(kInvalidSuffix);
        return std::nullopt;
    }
    const double dbm = LevelToDbm(number->value, *unit);
    if (!(dbm >= kLowestRefLevelDbm && dbm <= kHighestRefLevelDbm)) {
        PushError(kDataOutOfRange);
        return std::nullopt;
    }
    return dbm;
}

// A plain number; "DB" is allowed after it, the unit of the attenuator.
std::optional<double> ScpiSession::Plain(const Call& call, double low, double high) {
    return NumberIn(call, "DB", low, high);
}

// One number from low to high, bare or followed by its one allowed unit.
std::optional<double> ScpiSession::NumberIn(const Call& call, const char* unit, double low,
                                            double high) {
    const std::optional<ScpiNumber> number = OneNumber(call);
    if (!number) {
        return std::nullopt;
    }
    if (!number->unit.empty() && number->unit != unit) {
        PushError(kInvalidSuffix);
        return std::nullopt;
    }
    if (number->value < low || number->value > high) {
        PushError(kDataOutOfRange);
        return std::nullopt;
    }
    return number->value;
}

std::optional<bool> ScpiSession::Boolean(const Call& call) {
    if (!CheckParameterCount(call.unit, 1, 1)) {
        return std::nullopt;
    }
    const std::string word = ScpiUpper(call.unit.parameters[0]);
    if (word == "ON" || word == "1") {
        return true;
    }
    if (word == "OFF" || word == "0") {
        return false;
    }
    PushError(kIllegalParameterValue);
    return std::nullopt;
}

std::optional<std::size_t> ScpiSession::Choice(const Call& call,
                                               std::initializer_list<const char*> words) {
    if (!CheckParameterCount(call.unit, 1, 1)) {
        return std::nullopt;
    }
    const std::string given = ScpiUpper(call.unit.parameters[0]);
    std::size_t index = 0;
    for (const std::string_view word : words) {
        if (given == ScpiUpper(word) || given == ShortForm(word)) {
            return index;
        }
        ++index;
    }
    PushError(kIllegalParameterValue);
    return std::nullopt;
}

double ScpiSession::ReplyLevel(double level, const MarkerScale& scale) const {
    if (scale.FmDeviation()) {
        return level;
    }
    return DbmToLevel(scale.linearScale ? MillivoltsToDbm(level) : level, powerUnit_);
}

std::string ScpiSession::ReplyLevelText(double level, const MarkerScale& scale) const {
    if (scale.FmDeviation()) {
        return FormatText("%.3f", level);
    }
    return PowerUnitText(ReplyLevel(level, scale), powerUnit_);
}

// MMEMory takes an optional register number before the name; the name is
// the last parameter, quoted or not.
std::optional<std::string> ScpiSession::FileName(const Call& call, bool mustExist) {
    if (!CheckParameterCount(call.unit, 1, 2)) {
        return std::nullopt;
    }
    return AllowedFileName(call.unit.parameters.back(), mustExist);
}

std::optional<std::string> ScpiSession::AllowedFileName(const std::string& parameter,
                                                        bool mustExist) {
    const std::string name = Unquoted(parameter);
    if (!IsAllowedFileName(name, FileNames::PlainNamesHere)) {
        PushError(kFileNameError);
        return std::nullopt;
    }
    if (mustExist && !std::filesystem::is_regular_file(name)) {
        PushError(kFileNameNotFound);
        return std::nullopt;
    }
    return name;
}

void ScpiSession::QueryNextError(Call& call) {
    if (errors_.empty()) {
        call.reply = "0,\"No error\"";
        return;
    }
    const QueuedError error = std::move(errors_.front());
    errors_.pop_front();
    call.reply = std::to_string(error.code) + ",\"" + error.text + "\"";
}

}  // namespace tavlin
