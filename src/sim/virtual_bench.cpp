#include "sim/virtual_bench.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/bounded_format.h"

namespace tavlin::sim {

namespace {

constexpr int kDescriptorBase = 100;

// The number between a command's head and its unit ("CW 150.0MZ"), or none
// when the text is not of that form.
std::optional<double> NumberBetween(std::string_view command, std::string_view head,
                                    std::string_view unit) {
    if (!command.starts_with(head) || !command.ends_with(unit) ||
        command.size() <= head.size() + unit.size()) {
        return std::nullopt;
    }
    const std::string number(
        command.substr(head.size(), command.size() - head.size() - unit.size()));
    return ReadFiniteNumber(number);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\r' || text.front() == '\n')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

VirtualBench::VirtualBench(VirtualInstrument& unit, unsigned seed) : unit_(unit), random_(seed) {}

VirtualBench::~VirtualBench() {
    ProcedureRunning(false);
}

int VirtualBench::OpenDevice(int primaryAddress) {
    if (primaryAddress != kPowerMeterAddress && primaryAddress != kAuxAddress &&
        primaryAddress != kGeneratorAddress) {
        return -1;  // nothing answers at that address
    }
    std::lock_guard lock(mutex_);
    const int descriptor = kDescriptorBase + primaryAddress;
    addressOf_[descriptor] = primaryAddress;
    return descriptor;
}

void VirtualBench::CloseDevice(int device) {
    std::lock_guard lock(mutex_);
    addressOf_.erase(device);
}

std::size_t VirtualBench::OpenDevices() const {
    std::lock_guard lock(mutex_);
    return addressOf_.size();
}

bool VirtualBench::Write(int device, std::string_view bytes) {
    std::unique_lock lock(mutex_);
    const auto found = addressOf_.find(device);
    if (found == addressOf_.end()) {
        return false;
    }
    if (found->second == kGeneratorAddress) {
        // Commands end with ';' and may come several in one message.
        while (!bytes.empty()) {
            const std::size_t end = bytes.find(';');
            GeneratorCommand(Trimmed(bytes.substr(0, end)));
            bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        }
        lock.unlock();
        UpdateRfInput();
    } else if (found->second == kPowerMeterAddress) {
        const std::string_view command = Trimmed(bytes);
        if (command == "AP" || command == "BP") {
            pendingChannel_ = command[0];
        } else {
            pendingChannel_.reset();
        }
    }
    return true;
}

// RF IN sees the generator through the pad and one arm of the splitter
// while its path is connected and both its frequency and level are set.
void VirtualBench::UpdateRfInput() {
    std::optional<SceneEmitter> input;
    {
        std::lock_guard lock(mutex_);
        if (generatorConnected_ && generatorMhz_ && generatorDbm_) {
            input = SceneEmitter{*generatorMhz_ * 1e6, *generatorDbm_ - kPadDb, std::nullopt,
                                 std::nullopt};
        }
    }
    unit_.SetBenchSignal(input);
}

void VirtualBench::ConnectGenerator(bool connected) {
    {
        std::lock_guard lock(mutex_);
        generatorConnected_ = connected;
    }
    UpdateRfInput();
}

void VirtualBench::GeneratorCommand(std::string_view command) {
    if (const auto mhz = NumberBetween(command, "CW ", "MZ")) {
        generatorMhz_ = *mhz;
    } else if (const auto dbm = NumberBetween(command, "PL ", "DB")) {
        generatorDbm_ = *dbm;
    }
}

// A read with no question pending times out, as the meter would.
std::optional<std::string> VirtualBench::Read(int device, std::size_t maxBytes) {
    std::optional<char> channel;
    {
        std::lock_guard lock(mutex_);
        const auto found = addressOf_.find(device);
        if (found == addressOf_.end() || found->second != kPowerMeterAddress || !pendingChannel_) {
            return std::nullopt;
        }
        channel = pendingChannel_;
        pendingChannel_.reset();
    }
    std::string answer = MeterAnswer(*channel);
    answer.resize(std::min(answer.size(), maxBytes));
    return answer;
}

// Channel A sees the generator after the pad and the splitter, as RF IN
// does while it is connected; channel B sees CAL OUT, which carries the self-test signal while the
// unit has it on. The meter answers in its exponent form.
std::string VirtualBench::MeterAnswer(char channel) {
    std::optional<double> trueDbm;
    if (channel == 'A') {
        std::lock_guard lock(mutex_);
        if (generatorMhz_ && generatorDbm_) {
            trueDbm = *generatorDbm_ - kPadDb;
        }
    } else if (unit_.State().SelfTestSignalOn()) {
        trueDbm = unit_.GetScene().selfTest.levelDbm;
    }
    return FormatText("%+.5E\n", SensorReading(trueDbm));
}

double VirtualBench::SensorReading(std::optional<double> trueDbm) {
    const double milliwatts =
        (trueDbm ? std::pow(10.0, *trueDbm / 10.0) : 0.0) + std::pow(10.0, kSensorFloorDbm / 10.0);
    std::lock_guard lock(mutex_);
    std::uniform_real_distribution<double> scatter(-kSensorUncertaintyDb, kSensorUncertaintyDb);
    return 10.0 * std::log10(milliwatts) + scatter(random_);
}

void VirtualBench::ProcedureRunning(bool running) {
    {
        std::lock_guard lock(mutex_);
        if (referenceFed_ == running) {
            return;
        }
        referenceFed_ = running;
    }
    unit_.SetExternalReferencePresent(running || unit_.GetScene().externalReference);
    if (running) {
        ConnectGenerator(true);
    }
}

void VirtualBench::ConnectReference(bool connected) {
    unit_.SetExternalReferencePresent(connected || unit_.GetScene().externalReference);
}

std::optional<std::pair<double, double>> VirtualBench::GeneratorOutput() const {
    std::lock_guard lock(mutex_);
    if (!generatorMhz_ || !generatorDbm_) {
        return std::nullopt;
    }
    return std::pair{*generatorMhz_ * 1e6, *generatorDbm_};
}

bool VirtualBench::ReferenceFed() const {
    std::lock_guard lock(mutex_);
    return referenceFed_;
}

}  // namespace tavlin::sim
