#pragma once

#include <memory>
#include <string>

#include "base/level_unit.h"
#include "base/reading_flag.h"
#include "base/transducer_table.h"
#include "document/level_rows.h"
#include "document/marker_scale.h"

namespace tavlin {

// How the window shows levels: the amplitude unit and the transducer in
// front of the input. Both belong to the window alone. The document, the
// limit test, the state file and the servers keep levels at the analyzer's
// input in dBm; everything the window shows passes through here on its way
// to the screen.
//
// A transducer's factor is read at the frequency shown (with the
// downconverter offset, since the transducer sits in front of the
// converter); in zero span at the one frequency tuned.
class LevelDisplay {
  public:
    LevelDisplay() = default;

    LevelUnit Unit() const { return unit_; }
    // Field strength only with an antenna factor to make it from.
    bool Offers(LevelUnit unit) const;
    // False, and the unit unchanged, for one not offered.
    bool SetUnit(LevelUnit unit);

    // nullptr takes the transducer off. Field strength without an antenna
    // factor falls back to dBuV, the level it was made from.
    void SetTransducer(std::shared_ptr<const TransducerTable> table, std::string path = {});
    const TransducerTable* Transducer() const { return transducer_.get(); }
    const std::string& TransducerPath() const { return transducerPath_; }

    // Nothing to change: dBm (mV on the linear screen) and no transducer.
    bool Plain() const { return unit_ == LevelUnit::kDbm && !transducer_; }

    // 0 dB and in range without a transducer.
    TransducerFactor FactorAt(double shownHz) const;
    // The frequency a screen position stands for, as the transducer reads it.
    static double ShownHz(const MarkerScale& scale, double position);

    // A level of the screen (dBm with the reference offset, mV on the
    // linear screen) at `position`, in the unit and with the transducer's
    // factor: "46.99 dBµV", "22.36 mV", "<12.50 dBµV/m", "3.10 dBm UNCORR"
    // outside the transducer's table.
    std::string ReadingText(const MarkerScale& scale, double position, double level,
                            ReadingFlag flag) const;
    // A power at the input in dBm (band power) in the unit, with the factor.
    std::string PowerText(const MarkerScale& scale, double position, double dbm,
                          ReadingFlag flag) const;
    // A noise density at the input in dBm/Hz, with the factor: per hertz in
    // the units of power ("-150.00 dBm/Hz"), per root hertz in those of
    // voltage ("-43.01 dBµV/√Hz", "2.236 nV/√Hz").
    std::string DensityText(const MarkerScale& scale, double position, double dbmPerHz,
                            ReadingFlag flag) const;
    // The number of that reading, in ShownUnit, and its flag.
    double ShownLevel(const MarkerScale& scale, double position, double level) const;
    ReadingFlag ShownFlag(const MarkerScale& scale, double position, ReadingFlag flag) const;
    // The unit a reading is shown in: dBm on the linear screen reads in volts.
    LevelUnit ShownUnit(const MarkerScale& scale) const;
    // The reference level in the unit (without the transducer, which moves
    // the trace, not the graticule): "REF -13.0 dBmV".
    std::string ReferenceText(const MarkerScale& scale) const;
    // The screen level the transducer moves `level` at `position` to.
    double CorrectedLevel(const MarkerScale& scale, double position, double level) const;
    // Rows of levels at the input moved by the factor column by column. A
    // row beyond the top or bottom line says only "at least" or "at most",
    // so it is never moved onto the graticule.
    ScreenRows CorrectedRows(const ScreenRows& rows, const MarkerScale& scale) const;

  private:
    std::string DbmText(const MarkerScale& scale, double position, double dbm, ReadingFlag flag,
                        LevelUnit unit, const char* suffix) const;

    LevelUnit unit_ = LevelUnit::kDbm;
    std::shared_ptr<const TransducerTable> transducer_;
    std::string transducerPath_;
};

}  // namespace tavlin
