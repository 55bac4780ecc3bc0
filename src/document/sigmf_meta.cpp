#include "document/sigmf_meta.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace tavlin {

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Enough digits that a frequency or a rate reads back to the hertz's
// millionth; JSON has no infinity or NaN, so those are written as 0.
std::string Number(double value) {
    if (!std::isfinite(value)) {
        return "0";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// [offset, dB] points, a hertz's thousandth and a dB's thousandth.
std::string Curve(const std::vector<std::pair<double, double>>& points) {
    std::string text = "[";
    for (const auto& [x, db] : points) {
        char point[64];
        std::snprintf(point, sizeof point, "%s[%.3f, %.3f]", text.size() > 1 ? ", " : "",
                      std::isfinite(x) ? x : 0.0, std::isfinite(db) ? db : 0.0);
        text += point;
    }
    return text + "]";
}

std::string Field(const char* name, const std::string& value) {
    return std::string("\"") + name + "\": " + value;
}

std::string CaptureEntry(const IqSegment& segment) {
    const std::string indent = "\n      ";
    std::string entry = "    {";
    entry += indent + Field("core:sample_start", std::to_string(segment.sampleStart)) + ",";
    entry += indent + Field("core:frequency", Number(segment.frequencyHz)) + ",";
    entry +=
        indent + Field("core:datetime", Quoted(SigmfMeta::UtcTimestamp(segment.startedAt))) + ",";
    entry += indent + Field("tavlin:scale_db", Number(segment.scaleDb)) + ",";
    entry += indent + Field("tavlin:band_correction_db", Curve(segment.bandCorrectionDb)) + ",";
    entry += indent + Field("tavlin:attenuation_db", Number(segment.attenDb)) + ",";
    entry += indent + Field("tavlin:gain_state", std::to_string(segment.gainMode)) + ",";
    entry += indent + Field("tavlin:preamp_on", segment.preampOn ? "true" : "false") + ",";
    entry += indent + Field("tavlin:rbw_hz", Number(segment.rbwHz));
    return entry + "\n    }";
}

}  // namespace

std::string SigmfMeta::UtcTimestamp(std::chrono::system_clock::time_point at) {
    using namespace std::chrono;
    const auto whole = floor<seconds>(at);
    const auto fraction = duration_cast<microseconds>(at - whole).count();
    const std::time_t since = system_clock::to_time_t(whole);
    std::tm utc{};
    gmtime_r(&since, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<long long>(fraction));
    return text;
}

std::string SigmfMeta::Text() const {
    const std::string hw = "Tavlin receiver, serial " + serial + ", firmware " + firmware;
    std::string text = "{\n  \"global\": {\n";
    text += "    " + Field("core:datatype", Quoted("ci16_le")) + ",\n";
    if (sampleRateHz > 0.0) {  // none before the first capture
        text += "    " + Field("core:sample_rate", Number(sampleRateHz)) + ",\n";
    }
    text += "    " + Field("core:version", Quoted("1.2.5")) + ",\n";
    text += "    " + Field("core:hw", Quoted(hw)) + ",\n";
    text += "    " + Field("core:recorder", Quoted(recorder)) + ",\n";
    text += "    \"core:extensions\": [\n      {" + Field("name", Quoted(kExtension)) + ", " +
            Field("version", Quoted(kExtensionVersion)) + ", " + Field("optional", "true") +
            "}\n    ],\n";
    text += "    " + Field("tavlin:serial", Quoted(serial)) + ",\n";
    text += "    " + Field("tavlin:firmware", Quoted(firmware)) + ",\n";
    text += "    " + Field("tavlin:reference_correction", Number(referenceCorrection)) + ",\n";
    text += "    " + Field("tavlin:dropped_captures", std::to_string(droppedCaptures)) + "\n";
    text += "  },\n  \"captures\": [";
    for (std::size_t n = 0; n < segments.size(); ++n) {
        text += (n == 0 ? "\n" : ",\n") + CaptureEntry(segments[n]);
    }
    text += segments.empty() ? "],\n" : "\n  ],\n";
    return text + "  \"annotations\": []\n}\n";
}

}  // namespace tavlin
