#include "view/level_display.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavlin {

namespace {

double DbmOfScreenLevel(const MarkerScale& scale, double level) {
    return scale.linearScale ? MillivoltsToDbm(level) : level;
}

double ScreenLevelOfDbm(const MarkerScale& scale, double dbm) {
    return scale.linearScale ? DbmToMillivolts(dbm) : dbm;
}

}  // namespace

bool LevelDisplay::Offers(LevelUnit unit) const {
    return unit != LevelUnit::kDbuvPerMetre ||
           (transducer_ && transducer_->Kind() == TransducerKind::kAntennaFactor);
}

bool LevelDisplay::SetUnit(LevelUnit unit) {
    if (!Offers(unit)) {
        return false;
    }
    unit_ = unit;
    return true;
}

void LevelDisplay::SetTransducer(std::shared_ptr<const TransducerTable> table, std::string path) {
    transducer_ = std::move(table);
    transducerPath_ = transducer_ ? std::move(path) : std::string();
    if (!Offers(unit_)) {
        unit_ = LevelUnit::kDbuv;
    }
}

TransducerFactor LevelDisplay::FactorAt(double shownHz) const {
    return transducer_ ? transducer_->At(shownHz) : TransducerFactor{};
}

double LevelDisplay::ShownHz(const MarkerScale& scale, double position) {
    return scale.FreqOffset().Shown(scale.ZeroSpan() ? scale.startHz : position);
}

LevelUnit LevelDisplay::ShownUnit(const MarkerScale& scale) const {
    return scale.linearScale && unit_ == LevelUnit::kDbm ? LevelUnit::kVolt : unit_;
}

std::string LevelDisplay::ReadingText(const MarkerScale& scale, double position, double level,
                                      ReadingFlag flag) const {
    flag = ShownFlag(scale, position, flag);
    if (!ReadingFlagKeepsNumber(flag)) {
        return FlaggedReadingText("", flag);
    }
    const LevelUnit unit = ShownUnit(scale);
    return FlaggedReadingText(ShownLevelText(ShownLevel(scale, position, level), unit), flag);
}

std::string LevelDisplay::PowerText(const MarkerScale& scale, double position, double dbm,
                                    ReadingFlag flag) const {
    return DbmText(scale, position, dbm, flag, unit_, "");
}

std::string LevelDisplay::DensityText(const MarkerScale& scale, double position, double dbmPerHz,
                                      ReadingFlag flag) const {
    const bool power = unit_ == LevelUnit::kDbm || unit_ == LevelUnit::kWatt;
    return DbmText(scale, position, dbmPerHz, flag, unit_, power ? "/Hz" : "/\u221AHz");
}

std::string LevelDisplay::DbmText(const MarkerScale& scale, double position, double dbm,
                                  ReadingFlag flag, LevelUnit unit, const char* suffix) const {
    flag = ShownFlag(scale, position, flag);
    if (!ReadingFlagKeepsNumber(flag)) {
        return FlaggedReadingText("", flag);
    }
    const double db = FactorAt(ShownHz(scale, position)).db;
    return FlaggedReadingText(ShownLevelText(DbmToLevel(dbm + db, unit), unit) + suffix, flag);
}

double LevelDisplay::ShownLevel(const MarkerScale& scale, double position, double level) const {
    const double db = FactorAt(ShownHz(scale, position)).db;
    return DbmToLevel(DbmOfScreenLevel(scale, level) + db, ShownUnit(scale));
}

ReadingFlag LevelDisplay::ShownFlag(const MarkerScale& scale, double position,
                                    ReadingFlag flag) const {
    if (FactorAt(ShownHz(scale, position)).inRange) {
        return flag;
    }
    return WorseReadingFlag(flag, ReadingFlag::kUncorrected);
}

std::string LevelDisplay::ReferenceText(const MarkerScale& scale) const {
    const LevelUnit unit = ShownUnit(scale);
    return "REF " + ShownLevelText(DbmToLevel(scale.ReferenceDbm(), unit), unit, 1);
}

double LevelDisplay::CorrectedLevel(const MarkerScale& scale, double position, double level) const {
    const double db = FactorAt(ShownHz(scale, position)).db;
    if (db == 0.0 || scale.FmDeviation()) {
        return level;
    }
    return ScreenLevelOfDbm(scale, DbmOfScreenLevel(scale, level) + db);
}

ScreenRows LevelDisplay::CorrectedRows(const ScreenRows& rows, const MarkerScale& scale) const {
    if (!transducer_ || scale.FmDeviation()) {
        return rows;
    }
    ScreenRows corrected = rows;
    for (int column = 0; column < kTracePoints; ++column) {
        const std::int32_t row = rows[column];
        if (row == kNoRow) {
            continue;
        }
        const double position = scale.PositionOfColumn(column);
        const double level = CorrectedLevel(scale, position, scale.LevelOfRow(row));
        const double moved =
            std::clamp(std::round(RowOfLevel(scale, level)), -double{kFarRow}, double{kFarRow});
        auto shifted = static_cast<std::int32_t>(std::isnan(moved) ? row : moved);
        if (row <= 0) {
            shifted = std::min(shifted, row);
        } else if (row >= kBottomLineRow) {
            shifted = std::max(shifted, row);
        }
        corrected[column] = shifted;
    }
    return corrected;
}

}  // namespace tavlin
