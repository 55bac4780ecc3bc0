#pragma once

#include <QPointer>
#include <QWidget>

#include "ports/entry_dialogs.h"

namespace tavlin {

// The value-entry dialogs as the front panel and the menus see them: each
// call opens its dialog modally over the parent window and returns what was
// accepted. Call on the GUI thread only.
class QtEntryDialogs final : public EntryDialogs {
  public:
    // parent: the window the dialogs are centred over and block; may be null.
    explicit QtEntryDialogs(QWidget* parent) : parent_(parent) {}

    std::optional<double> EnterFrequency(const std::string& label,
                                         std::optional<double> startHz) override;
    std::optional<double> EnterAmplitude(const std::string& label, double startDbm) override;
    std::optional<double> EnterDb(const std::string& label, double start, DbRange range) override;
    std::optional<std::string> EnterTitle(const std::string& start) override;
    std::optional<ZeroSpanChoice> EnterZeroSpan(double sweepTimeMs) override;
    std::optional<double> EnterSpanRbwRatio(double ratio) override;
    std::optional<int> ChooseAttenuator(int index) override;
    std::optional<int> EnterExtraDelay(int milliseconds) override;
    std::optional<TcpIpSettings> EnterTcpIp(const TcpIpSettings& start) override;

  private:
    QWidget* Parent() const;

    QPointer<QWidget> parent_;
};

}  // namespace tavlin
