#include "view/qt_marker_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <initializer_list>

#include "base/bounded_format.h"
#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "document/marker_measurements.h"
#include "view/marker_table.h"

namespace tavlin {

namespace {

constexpr int kColumns = 4;
constexpr int kMaxNoisePixels = 100;

QString ReadingText(double value, const char* format, ReadingFlag flag) {
    const std::string number = ReadingFlagKeepsNumber(flag) ? FormatText(format, value) : "";
    return QString::fromStdString(FlaggedReadingText(number, flag));
}

}  // namespace

QtMarkerPanel::QtMarkerPanel(AnalyzerDocument& document, QWidget* parent)
    : QWidget(parent), doc_(document) {
    setObjectName(QStringLiteral("markerPanel"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    table_ = new QTableWidget(0, kColumns, this);
    table_->setObjectName(QStringLiteral("markerTable"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Marker"), QStringLiteral("Frequency"),
                                       QStringLiteral("Level"), QStringLiteral("Delta")});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    column->addWidget(table_, 1);
    BuildFunctions(column);
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &QtMarkerPanel::Refresh);
}

void QtMarkerPanel::BuildFunctions(QVBoxLayout* column) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Delta to marker"), this));
    reference_ = new QComboBox(this);
    reference_->setObjectName(QStringLiteral("referenceMarker"));
    for (int n = 1; n <= ExtraMarkers::kLast; ++n) {
        reference_->addItem(QString::number(n), n);
    }
    row->addWidget(reference_);
    noiseOn_ = new QCheckBox(QStringLiteral("Noise marker, +-"), this);
    noisePixels_ = new QSpinBox(this);
    noisePixels_->setRange(0, kMaxNoisePixels);
    noisePixels_->setValue(kDefaultNoisePixels);
    noisePixels_->setSuffix(QStringLiteral(" px"));
    noise_ = new QLabel(this);
    noise_->setObjectName(QStringLiteral("noiseReading"));
    bandOn_ = new QCheckBox(QStringLiteral("Band power,"), this);
    bandKhz_ = new QDoubleSpinBox(this);
    bandKhz_->setRange(0.001, 4.4e6);
    bandKhz_->setDecimals(3);
    bandKhz_->setValue(kDefaultBandKhz);
    bandKhz_->setSuffix(QStringLiteral(" kHz"));
    band_ = new QLabel(this);
    band_->setObjectName(QStringLiteral("bandPowerReading"));
    for (QWidget* w : std::initializer_list<QWidget*>{noiseOn_, noisePixels_, noise_, bandOn_,
                                                      bandKhz_, band_}) {
        row->addWidget(w);
    }
    row->addStretch(1);
    column->addLayout(row);
}

void QtMarkerPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    timer_->start();
}

void QtMarkerPanel::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

void QtMarkerPanel::SetNoiseMarker(bool on, int halfWidthPixels) {
    noiseOn_->setChecked(on);
    noisePixels_->setValue(halfWidthPixels);
    RefreshFunctions();
}

void QtMarkerPanel::SetBandPower(bool on, double widthHz) {
    bandOn_->setChecked(on);
    bandKhz_->setValue(widthHz / 1e3);
    RefreshFunctions();
}

void QtMarkerPanel::SetReferenceMarker(int number) {
    reference_->setCurrentIndex(reference_->findData(number));
    RefreshTable();
}

void QtMarkerPanel::SetLevels(const LevelDisplay& levels) {
    levels_ = levels;
    Refresh();
}

void QtMarkerPanel::Refresh() {
    RefreshTable();
    RefreshFunctions();
}

// A reference marker that is off gives no differences.
void QtMarkerPanel::RefreshTable() {
    const std::vector<MarkerTableEntry> entries = MarkerTable::Entries(doc_);
    const MarkerTable table(MarkerCommands(doc_).Scale(), levels_);
    const int referenceNumber = reference_->currentData().toInt();
    const MarkerTableEntry* reference = nullptr;
    for (const MarkerTableEntry& e : entries) {
        reference = e.number == referenceNumber ? &e : reference;
    }
    table_->setRowCount(static_cast<int>(entries.size()));
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        const MarkerTableEntry& e = entries[static_cast<std::size_t>(row)];
        const QString texts[kColumns] = {
            QString::number(e.number) + (e.active ? QStringLiteral(" *") : QString()),
            QString::fromStdString(table.PositionText(e)),
            QString::fromStdString(table.LevelText(e)),
            reference ? QString::fromStdString(table.DeltaText(e, *reference)) : QString()};
        for (int c = 0; c < kColumns; ++c) {
            table_->setItem(row, c, new QTableWidgetItem(texts[c]));
        }
    }
}

QString QtMarkerPanel::NoiseText() const {
    return noise_->text();
}

QString QtMarkerPanel::BandPowerText() const {
    return band_->text();
}

// "---" where the trace gives no reading: the active marker off or off the
// span, or a trace without a filter's noise bandwidth (wide sweep, zero span).
void QtMarkerPanel::RefreshFunctions() {
    const MarkerMeasurements measure(doc_);
    const MarkerCommands markers(doc_);
    const MarkerScale scale = markers.Scale();
    const double position = markers.Snapshot().ActivePosition();
    QString noise;
    if (noiseOn_->isChecked()) {
        const auto reading = measure.NoiseAtActiveMarker(noisePixels_->value());
        noise = !reading          ? QStringLiteral("---")
                : levels_.Plain() ? ReadingText(reading->densityDbmHz, "%.2f dBm/Hz", reading->flag)
                                  : QString::fromStdString(levels_.DensityText(
                                        scale, position, reading->densityDbmHz, reading->flag));
    }
    noise_->setText(noise);
    QString band;
    if (bandOn_->isChecked()) {
        const auto reading = measure.BandPowerAtActiveMarker(bandKhz_->value() * 1e3);
        const auto power = [&] {
            return levels_.Plain() ? ReadingText(reading->powerDbm, "%.2f dBm", reading->flag)
                                   : QString::fromStdString(levels_.PowerText(
                                         scale, position, reading->powerDbm, reading->flag));
        };
        band = reading ? power() +
                             QStringLiteral(" in %1 kHz").arg(reading->bandwidthHz / 1e3, 0, 'f', 3)
                       : QStringLiteral("---");
    }
    band_->setText(band);
}

}  // namespace tavlin
