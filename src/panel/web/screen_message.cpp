#include "panel/web/screen_message.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <span>

#include "document/analyzer_document.h"
#include "document/instrument_info.h"
#include "document/level_rows.h"
#include "document/marker_scale.h"
#include "view/limit_verdict_text.h"
#include "view/measurement_readout.h"
#include "view/plot_annotations.h"
#include "view/plot_geometry.h"

namespace tavlin {

namespace {

using nlohmann::json;

// Rows far off the screen are sent as the painter draws them: held short,
// so a page never gets numbers a canvas cannot place.
constexpr std::int32_t kFarthestRow = 100000;

json Rows(const std::array<std::int32_t, kTracePoints>& rows) {
    json out = json::array();
    for (const std::int32_t row : rows) {
        if (row == kNoRow) {
            out.push_back(nullptr);
        } else {
            out.push_back(std::clamp(row, -kFarthestRow, kFarthestRow));
        }
    }
    return out;
}

const char* AlignName(TextAlign align) {
    switch (align) {
        case TextAlign::Centre:
            return "centre";
        case TextAlign::Right:
            return "right";
        case TextAlign::Left:
            break;
    }
    return "left";
}

json Text(const PlotText& t) {
    return {
        {"x", t.x},      {"y", t.y}, {"w", t.width}, {"h", t.height}, {"align", AlignName(t.align)},
        {"text", t.text}};
}

// The lines of markers 3 to 6 under the readout, empty ones too: the page
// clears each strip as the window does.
json ExtraReadouts(const PlotAnnotations& annotations) {
    json strips = json::array();
    for (const PlotText& strip : annotations.ExtraReadouts()) {
        strips.push_back(Text(strip));
    }
    return strips;
}

json Unit(const UnitFacts& unit) {
    return {{"serial", unit.serial},
            {"firmware", unit.firmware},
            {"calDate", unit.calDate},
            {"calibration",
             unit.calibrationDoubt.empty() ? "calibrated" : "UNCAL, " + unit.calibrationDoubt}};
}

json Markers(const PlotSnapshot& snapshot, const PlotAnnotations& annotations) {
    json markers = json::array();
    const bool secondActive = snapshot.markers.marker2Active != 0;
    if (const auto m = annotations.Marker1Glyph()) {
        markers.push_back({{"n", 1}, {"x", m->x}, {"y", m->y}, {"active", !secondActive}});
    }
    if (const auto m = annotations.Marker2Glyph()) {
        markers.push_back({{"n", 2}, {"x", m->x}, {"y", m->y}, {"active", secondActive}});
    }
    return markers;
}

json Measurements(const PlotSnapshot& snapshot) {
    json lines = json::array();
    if (snapshot.channelPower) {
        lines.push_back(
            FlaggedReadingText(ChannelPowerText(*snapshot.channelPower), snapshot.traceFlag));
    }
    if (snapshot.occupiedBandwidth) {
        lines.push_back(FlaggedReadingText(OccupiedBandwidthText(*snapshot.occupiedBandwidth),
                                           snapshot.traceFlag));
    }
    return lines;
}

// The channel's edges as graticule columns, for the dashed lines.
json ChannelEdges(const PlotSnapshot& snapshot) {
    const InstrumentState& s = snapshot.settings;
    const double spanHz = s.stopFreqHz - s.startFreqHz;
    json edges = json::array();
    if (!snapshot.channelPower || !(spanHz > 0.0)) {
        return edges;
    }
    const auto& channel = *snapshot.channelPower;
    for (const double hz : {channel.centreHz - channel.bandwidthHz / 2.0,
                            channel.centreHz + channel.bandwidthHz / 2.0}) {
        const double column = (hz - s.startFreqHz) / spanHz * plot::kLastColumn;
        edges.push_back(std::lround(std::clamp(column, 0.0, double{plot::kLastColumn})));
    }
    return edges;
}

json Limits(const PlotSnapshot& snapshot) {
    const DisplayState& display = snapshot.display;
    json limits = {{"traceB", nullptr}, {"upper", nullptr}, {"verdict", nullptr}};
    // With the limit lines on, the lower limit takes trace B's place and pen.
    if (display.limitLinesOn) {
        limits["traceB"] = Rows(display.lowerLimitRows);
        limits["upper"] = Rows(display.upperLimitRows);
    } else if (display.traceBShown) {
        limits["traceB"] = Rows(display.traceBRows);
    }
    const std::string verdict =
        LimitVerdictText(snapshot.limitVerdict,
                         IsZeroSpan(snapshot.settings.stopFreqHz - snapshot.settings.startFreqHz));
    if (!verdict.empty()) {
        limits["verdict"] = {{"text", verdict}, {"pass", snapshot.limitVerdict.pass}};
    }
    return limits;
}

json Spectrogram(const std::optional<SpectrogramRow>& row) {
    if (!row) {
        return nullptr;
    }
    json levels = json::array();
    for (const float level : row->seq == 0 ? std::span<const float>() : row->levelsDbm) {
        // A tenth of a dB is finer than a colour step of the map.
        levels.push_back(std::round(level * 10.0f) / 10.0f);
    }
    return {{"seq", row->seq},
            {"refDbm", row->refDbm},
            {"dbPerDiv", row->dbPerDiv},
            {"levels", std::move(levels)}};
}

}  // namespace

UnitFacts ReadUnitFacts(const AnalyzerDocument& document) {
    const auto [serial, firmware] = document.ReadSettings([](const InstrumentState& s) {
        return std::pair{s.deviceSerial, s.firmwareVersion};
    });
    return {PrintableText(serial), PrintableText(firmware), PrintableText(document.CalDate()),
            PrintableText(document.CalibrationUntrusted())};
}

std::optional<SpectrogramRow> ReadNewestSpectrogramRow(const AnalyzerDocument& document) {
    if (!document.SpectrogramOn()) {
        return std::nullopt;
    }
    SpectrogramRow row;
    document.ReadSettings([&row](const InstrumentState& s) {
        const MarkerScale scale = MarkerScale::From(s);
        row.refDbm = scale.ReferenceDbm();
        row.dbPerDiv = scale.dbPerDiv > 0.0 ? scale.dbPerDiv : 10.0;
    });
    document.ReadSpectrogram([&row](const SpectrogramHistory& history) {
        if (!history.Empty()) {
            row.seq = history.NewestSeq();
            row.levelsDbm = history.Line(0).levelsDbm;
        }
    });
    return row;
}

std::string EncodeScreenMessage(const PlotSnapshot& snapshot, const UnitFacts& unit,
                                const std::optional<SpectrogramRow>& spectrogram) {
    const PlotAnnotations annotations(snapshot, false);
    json texts = json::array();
    for (const PlotText& t : annotations.Annotations()) {
        texts.push_back(Text(t));
    }
    const PlotPoint annunciatorAt = annotations.AnnunciatorAnchor();
    json message = {{"connected", true},
                    {"unit", Unit(unit)},
                    {"top", annotations.Top()},
                    {"classic", snapshot.display.classicColours},
                    {"sweeping", snapshot.sweepRunning},
                    {"traceA", Rows(snapshot.traceAInt)},
                    {"limits", Limits(snapshot)},
                    {"annunciators", annotations.Annunciators()},
                    {"annunciatorAt", {annunciatorAt.x, annunciatorAt.y}},
                    {"texts", std::move(texts)},
                    {"readout", Text(annotations.Readout())},
                    {"extraReadouts", ExtraReadouts(annotations)},
                    {"markers", Markers(snapshot, annotations)},
                    {"measurements", Measurements(snapshot)},
                    {"channelEdges", ChannelEdges(snapshot)},
                    {"spectrogram", Spectrogram(spectrogram)}};
    return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string EncodeDisconnectedMessage(const std::optional<UnitFacts>& lastUnit) {
    json message = {{"connected", false}, {"unit", nullptr}};
    if (lastUnit) {
        message["unit"] = Unit(*lastUnit);
    }
    return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace tavlin
