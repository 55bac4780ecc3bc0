#pragma once

#include <QWidget>

#include "view/level_display.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QTableWidget;
class QTimer;
class QVBoxLayout;

namespace tavlin {

class AnalyzerDocument;

// The marker table under the plot: markers 1 to 6 with frequency, level and
// flag, and their difference to the reference marker chosen; under it the
// noise marker (dBm/Hz around the active marker) and the band-power marker
// (the power in a band centred on it). It reads the document while shown.
class QtMarkerPanel final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kRefreshMs = 250;
    static constexpr int kDefaultNoisePixels = 5;
    static constexpr double kDefaultBandKhz = 100.0;

    explicit QtMarkerPanel(AnalyzerDocument& document, QWidget* parent = nullptr);

    // Reads the markers and both marker functions afresh.
    void Refresh();
    QTableWidget& Table() const { return *table_; }
    QString NoiseText() const;
    QString BandPowerText() const;
    void SetNoiseMarker(bool on, int halfWidthPixels);
    void SetBandPower(bool on, double widthHz);
    void SetReferenceMarker(int number);
    // The window's unit and transducer, for every level the panel shows.
    void SetLevels(const LevelDisplay& levels);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void BuildFunctions(QVBoxLayout* column);
    void RefreshTable();
    void RefreshFunctions();

    AnalyzerDocument& doc_;
    QTableWidget* table_ = nullptr;
    QComboBox* reference_ = nullptr;
    QCheckBox* noiseOn_ = nullptr;
    QSpinBox* noisePixels_ = nullptr;
    QLabel* noise_ = nullptr;
    QCheckBox* bandOn_ = nullptr;
    QDoubleSpinBox* bandKhz_ = nullptr;
    QLabel* band_ = nullptr;
    QTimer* timer_ = nullptr;
    LevelDisplay levels_;
};

}  // namespace tavlin
