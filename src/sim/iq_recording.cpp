#include "sim/iq_recording.h"

#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "base/atomic_file.h"

namespace tavlin::sim {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxMetaBytes = 16u * 1024u * 1024u;
constexpr std::size_t kBytesPerPair = 4;
constexpr double kFullScale = 32768.0;

struct CaptureEntry {
    std::uint64_t sampleStart = 0;
    double frequencyHz = 0.0;
    double scaleDb = 0.0;
};

double NumberAt(const Json& object, const char* key, double fallback) {
    const auto found = object.find(key);
    return found != object.end() && found->is_number() ? found->get<double>() : fallback;
}

std::int16_t WordAt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8)));
}

std::filesystem::path DataPathOf(const std::filesystem::path& metaPath) {
    std::filesystem::path data = metaPath;
    return data.replace_extension(".sigmf-data");
}

// The capture entries in order, each checked; the meta is refused when they
// do not rise or lie past the samples.
bool ReadCaptures(const Json& meta, std::uint64_t pairs, std::vector<CaptureEntry>& captures,
                  std::string& error) {
    const auto list = meta.find("captures");
    if (list == meta.end() || !list->is_array() || list->empty()) {
        error = "it has no captures";
        return false;
    }
    for (const Json& entry : *list) {
        if (!entry.is_object() || !entry.contains("core:sample_start") ||
            !entry.at("core:sample_start").is_number_unsigned()) {
            error = "a capture has no core:sample_start";
            return false;
        }
        CaptureEntry capture;
        capture.sampleStart = entry.at("core:sample_start").get<std::uint64_t>();
        capture.frequencyHz = NumberAt(entry, "core:frequency", 0.0);
        capture.scaleDb = NumberAt(entry, "tavlin:scale_db", 0.0);
        if ((!captures.empty() && capture.sampleStart <= captures.back().sampleStart) ||
            capture.sampleStart >= pairs || !std::isfinite(capture.frequencyHz) ||
            !std::isfinite(capture.scaleDb)) {
            error = "its captures do not fit its samples";
            return false;
        }
        captures.push_back(capture);
    }
    return true;
}

}  // namespace

std::shared_ptr<const IqRecording> IqRecording::Load(const std::filesystem::path& metaPath,
                                                     std::string& error) {
    std::vector<std::uint8_t> metaBytes;
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(metaPath, kMaxMetaBytes, metaBytes, error) ||
        !ReadWholeFile(DataPathOf(metaPath), kMaxDataBytes, data, error)) {
        return nullptr;
    }
    const Json meta = Json::parse(metaBytes.begin(), metaBytes.end(), nullptr, false);
    const std::string name = "recording " + metaPath.string() + ": ";
    if (!meta.is_object() || !meta.contains("global") || !meta.at("global").is_object()) {
        error = name + "not a SigMF metadata file";
        return nullptr;
    }
    const Json& global = meta.at("global");
    if (global.value("core:datatype", "") != "ci16_le") {
        error = name + "only ci16_le samples can be played";
        return nullptr;
    }
    auto recording = std::make_shared<IqRecording>();
    recording->sampleRateHz_ = NumberAt(global, "core:sample_rate", 0.0);
    if (!(recording->sampleRateHz_ > 0.0) || !std::isfinite(recording->sampleRateHz_)) {
        error = name + "no core:sample_rate";
        return nullptr;
    }
    const std::uint64_t pairs = data.size() / kBytesPerPair;
    std::vector<CaptureEntry> captures;
    if (!ReadCaptures(meta, pairs, captures, error)) {
        error = name + error;
        return nullptr;
    }
    recording->centerHz_ = captures.front().frequencyHz;
    double energy = 0.0;
    std::size_t count = 0;
    for (std::size_t c = 0; c < captures.size(); ++c) {
        if (captures[c].frequencyHz != recording->centerHz_) {
            continue;
        }
        const std::uint64_t end = c + 1 < captures.size() ? captures[c + 1].sampleStart : pairs;
        const double scale = std::pow(10.0, captures[c].scaleDb / 20.0) / kFullScale;
        auto& segment = recording->segments_.emplace_back();
        for (std::uint64_t n = captures[c].sampleStart; n < end; ++n) {
            const std::size_t at = static_cast<std::size_t>(n) * kBytesPerPair;
            const std::complex<float> x(static_cast<float>(WordAt(data, at) * scale),
                                        static_cast<float>(WordAt(data, at + 2) * scale));
            segment.push_back(x);
            energy += std::norm(x);
        }
        count += segment.size();
    }
    recording->meanPowerDbm_ = energy > 0.0 ? 10.0 * std::log10(energy / count) : -200.0;
    return recording;
}

}  // namespace tavlin::sim
