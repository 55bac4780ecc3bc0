#pragma once

#include <QImage>
#include <string>

#include "base/plot_bitmap.h"
#include "utilities/phase_noise/phase_noise_curve.h"

class QPainter;

namespace tavlin {

// The phase-noise plot: 850 x 620 pixels, black, a blue grid of six decades
// of offset (120 pixels a decade from x = 100) and eleven lines 10 dB apart
// (50 pixels from y = 60), yellow labels and the green curve. The reference
// is the level of the top line in dBc/Hz.
class QtPhaseNoisePainter {
  public:
    static constexpr int kWidth = PlotImage::kWidth;
    static constexpr int kHeight = PlotImage::kHeight;

    QtPhaseNoisePainter(const PhaseNoiseCurve& curve, double referenceDbcHz, std::string title)
        : curve_(curve), reference_(referenceDbcHz), title_(std::move(title)) {}

    void Paint(QPainter& painter) const;
    QImage Render() const;
    // The rendered plot as the bitmap writer takes it.
    PlotImage RenderPlotImage() const;

    // The row of the curve's point at a density, kept within the grid.
    static int CurveY(double dbcPerHz, double referenceDbcHz);

  private:
    void PaintGrid(QPainter& painter) const;
    void PaintLabels(QPainter& painter) const;
    void PaintCurve(QPainter& painter) const;

    const PhaseNoiseCurve& curve_;
    double reference_;
    std::string title_;
};

// The console's drawing of a finished procedure at the initial reference.
PlotImage RenderPhaseNoisePlot(const PhaseNoiseSweeps& sweeps);

}  // namespace tavlin
