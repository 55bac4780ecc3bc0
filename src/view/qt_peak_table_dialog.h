#pragma once

#include <QDialog>
#include <vector>

#include "document/peak_table.h"
#include "view/level_display.h"

class QDoubleSpinBox;
class QSpinBox;
class QTableWidget;

namespace tavlin {

class AnalyzerDocument;

// The peak table: the N highest peaks of trace A at or above a threshold,
// each standing a minimum excursion above the trace beside it, listed with
// frequency, level and flag, and exported as CSV.
class QtPeakTableDialog final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kMaxPeaks = 100;

    explicit QtPeakTableDialog(AnalyzerDocument& document, QWidget* parent = nullptr);

    // The table of the trace shown now, with the settings entered.
    void Refresh();
    // Writes the table shown; an empty text on success, else what went wrong.
    QString ExportTo(const QString& path) const;
    void SetSettings(const PeakTableSettings& settings);
    QTableWidget& Table() const { return *table_; }
    // The window's unit and transducer, for the levels listed and exported;
    // the threshold stays a level at the analyzer's input.
    void SetLevels(const LevelDisplay& levels);

  private:
    void Export();

    AnalyzerDocument& doc_;
    QSpinBox* count_ = nullptr;
    QDoubleSpinBox* threshold_ = nullptr;
    QDoubleSpinBox* excursion_ = nullptr;
    QTableWidget* table_ = nullptr;
    std::vector<PeakTableRow> rows_;
    LevelDisplay levels_;
};

}  // namespace tavlin
