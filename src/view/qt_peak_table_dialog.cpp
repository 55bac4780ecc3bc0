#include "view/qt_peak_table_dialog.h"

#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "document/marker_measurements.h"
#include "view/marker_table.h"
#include "view/peak_table_export.h"

namespace tavlin {

QtPeakTableDialog::QtPeakTableDialog(AnalyzerDocument& document, QWidget* parent)
    : QDialog(parent), doc_(document) {
    setObjectName(QStringLiteral("peakTableDialog"));
    setWindowTitle(QStringLiteral("Peak Table"));
    const PeakTableSettings defaults;
    count_ = new QSpinBox(this);
    count_->setRange(1, kMaxPeaks);
    count_->setValue(defaults.count);
    threshold_ = new QDoubleSpinBox(this);
    threshold_->setRange(-200.0, 10000.0);
    threshold_->setDecimals(2);
    threshold_->setValue(defaults.threshold);
    excursion_ = new QDoubleSpinBox(this);
    excursion_->setRange(0.0, 100.0);
    excursion_->setValue(defaults.excursionDb);
    excursion_->setSuffix(QStringLiteral(" dB"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Peaks"), count_);
    form->addRow(QStringLiteral("Threshold (screen unit)"), threshold_);
    form->addRow(QStringLiteral("Minimum excursion"), excursion_);
    table_ = new QTableWidget(0, 2, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Frequency"), QStringLiteral("Level")});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* refresh = new QPushButton(QStringLiteral("Refresh"), this);
    auto* exportCsv = new QPushButton(QStringLiteral("Export CSV..."), this);
    exportCsv->setObjectName(QStringLiteral("exportPeakTable"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(refresh, &QPushButton::clicked, this, &QtPeakTableDialog::Refresh);
    connect(exportCsv, &QPushButton::clicked, this, &QtPeakTableDialog::Export);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh);
    buttons->addWidget(exportCsv);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(table_, 1);
    column->addLayout(buttons);
    resize(420, 420);
    Refresh();
}

void QtPeakTableDialog::SetSettings(const PeakTableSettings& settings) {
    count_->setValue(settings.count);
    threshold_->setValue(settings.threshold);
    excursion_->setValue(settings.excursionDb);
    Refresh();
}

void QtPeakTableDialog::SetLevels(const LevelDisplay& levels) {
    levels_ = levels;
    Refresh();
}

// The levels are in the unit of the sweep they were read from, as the
// markers' are.
void QtPeakTableDialog::Refresh() {
    rows_ = MarkerMeasurements(doc_).PeakTable(
        {count_->value(), threshold_->value(), excursion_->value()});
    const MarkerTable text(MarkerCommands(doc_).RowsScale(), levels_);
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const PeakTableRow& row = rows_[static_cast<std::size_t>(i)];
        const MarkerTableEntry entry{i + 1, false, row.position, row.level, row.flag};
        table_->setItem(i, 0,
                        new QTableWidgetItem(QString::fromStdString(text.PositionText(entry))));
        table_->setItem(i, 1, new QTableWidgetItem(QString::fromStdString(text.LevelText(entry))));
    }
}

QString QtPeakTableDialog::ExportTo(const QString& path) const {
    const MarkerScale scale = MarkerCommands(doc_).RowsScale();
    return QString::fromStdString(
        PeakTableExport::Write(scale, rows_, std::filesystem::path(path.toStdString()), levels_));
}

void QtPeakTableDialog::Export() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export Peak Table"), QString(), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    const QString error = ExportTo(path);
    if (!error.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Export Peak Table"), error);
    }
}

}  // namespace tavlin
