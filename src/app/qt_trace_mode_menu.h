#pragma once

#include <QObject>

class QMenu;
class QWidget;

namespace tavlin {

class AnalyzerDocument;
class LimitLineCommands;

// The Trace menu's trace modes, detectors, A-B line and trace B files,
// added to the menu given.
class QtTraceModeMenu final : public QObject {
  public:
    QtTraceModeMenu(QMenu* trace, AnalyzerDocument& document, LimitLineCommands& commands,
                    QWidget* parent);

  private:
    void AddModes(QMenu* trace);
    void AddDetectors(QMenu* trace);
    void AddTraceBFiles(QMenu* trace);
    void AskAverage();
    void SaveTraceB();
    void LoadTraceB();

    AnalyzerDocument& doc_;
    LimitLineCommands& commands_;
    QWidget* parent_;
};

}  // namespace tavlin
