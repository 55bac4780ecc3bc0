#include "sim/iq_recording.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "sim/sideband_noise.h"

namespace tavlin::sim {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxMetaBytes = 16u * 1024u * 1024u;
constexpr std::size_t kBytesPerPair = 4;
constexpr double kFullScale = 32768.0;

using Curve = std::vector<std::pair<double, double>>;

struct CaptureEntry {
    std::uint64_t sampleStart = 0;
    double frequencyHz = 0.0;
    double scaleDb = 0.0;
    Curve bandCorrectionDb;  // [offset Hz, dB], offsets rising; may be empty
};

// The correction's points, or none when the entry has none or they are not
// [offset, dB] pairs with offsets rising.
Curve ReadBandCorrection(const Json& entry) {
    const auto list = entry.find("tavlin:band_correction_db");
    Curve curve;
    if (list == entry.end() || !list->is_array()) {
        return curve;
    }
    for (const Json& point : *list) {
        if (!point.is_array() || point.size() != 2 || !point[0].is_number() ||
            !point[1].is_number()) {
            return {};
        }
        const double x = point[0].get<double>();
        const double db = point[1].get<double>();
        if (!std::isfinite(x) || !std::isfinite(db) ||
            (!curve.empty() && x <= curve.back().first)) {
            return {};
        }
        curve.emplace_back(x, db);
    }
    return curve;
}

// Straight between the points, the end values beyond them.
double CurveAt(const Curve& curve, double x) {
    if (x <= curve.front().first) {
        return curve.front().second;
    }
    for (std::size_t n = 1; n < curve.size(); ++n) {
        if (x <= curve[n].first) {
            const double t = (x - curve[n - 1].first) / (curve[n].first - curve[n - 1].first);
            return curve[n - 1].second + t * (curve[n].second - curve[n - 1].second);
        }
    }
    return curve.back().second;
}

// Undoes what the recorder's IF and decimating filters did across the band,
// bin by bin (zero-padded to a power of two), so the samples are the input's.
void Flatten(std::vector<std::complex<float>>& segment, const Curve& correction, double rateHz) {
    segment = ShapedBySpectrum(segment, [&correction, rateHz](double share) {
        return std::pow(10.0, CurveAt(correction, share * rateHz) / 20.0);
    });
}

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
        capture.bandCorrectionDb = ReadBandCorrection(entry);
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
        const std::uint64_t next = c + 1 < captures.size() ? captures[c + 1].sampleStart : pairs;
        const std::uint64_t end = std::min(next, captures[c].sampleStart + kMaxSegmentPairs);
        const double scale = std::pow(10.0, captures[c].scaleDb / 20.0) / kFullScale;
        auto& segment = recording->segments_.emplace_back();
        for (std::uint64_t n = captures[c].sampleStart; n < end; ++n) {
            const std::size_t at = static_cast<std::size_t>(n) * kBytesPerPair;
            segment.emplace_back(static_cast<float>(WordAt(data, at) * scale),
                                 static_cast<float>(WordAt(data, at + 2) * scale));
        }
        if (!captures[c].bandCorrectionDb.empty()) {
            Flatten(segment, captures[c].bandCorrectionDb, recording->sampleRateHz_);
        }
        for (const std::complex<float>& x : segment) {
            energy += std::norm(x);
        }
        count += segment.size();
    }
    recording->meanPowerDbm_ = energy > 0.0 ? 10.0 * std::log10(energy / count) : -200.0;
    return recording;
}

}  // namespace tavlin::sim
