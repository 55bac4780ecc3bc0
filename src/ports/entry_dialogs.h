#pragma once

#include <optional>
#include <string>

namespace tavlin {

// What the Zero Span Settings dialog returns.
struct ZeroSpanChoice {
    double sweepTimeMs = 10.0;  // 0.5 .. 2000
    bool fm = false;            // false = AM detector
};

// What the TCP/IP settings dialog edits.
struct TcpIpSettings {
    std::string address = "127.0.0.1";
    int commandPort = 3976;  // 1 .. 65535
    int dataPort = 3977;     // 1 .. 65535
};

// Which numbers a dB entry takes, and the one number it also takes that is
// not in dB.
enum class DbRange {
    Any,        // steps and offsets, of either sign
    AboveZero,  // a scale: at 0 dB or less a division the screen has no rows
    Percent,    // a share of power in percent, above 0 and below 100; the button reads "%"
};

// The modal value-entry dialogs the front panel and the menus open. Each
// returns the accepted value, or nothing when the user cancelled. A dialog
// refuses values outside its own range itself and stays open, so what comes
// back is always a finite value within that range.
class EntryDialogs {
  public:
    virtual ~EntryDialogs() = default;

    // The calculator keypad: a frequency in Hz. Without a starting value the
    // field shows 0 and no unit is preselected.
    virtual std::optional<double> EnterFrequency(const std::string& label,
                                                 std::optional<double> startHz) = 0;
    // A level in dBm, typed in dBm, mV or dBmV.
    virtual std::optional<double> EnterAmplitude(const std::string& label, double startDbm) = 0;
    // A number of dB; the label says what it sets ("dB/div").
    virtual std::optional<double> EnterDb(const std::string& label, double start,
                                          DbRange range) = 0;
    // The plot title ("Set Title").
    virtual std::optional<std::string> EnterTitle(const std::string& start) = 0;
    // Zero Span Settings: sweep time and detector; the detector starts at AM.
    virtual std::optional<ZeroSpanChoice> EnterZeroSpan(double sweepTimeMs) = 0;
    // Span / RBW ratio: the number typed or chosen in the list.
    virtual std::optional<double> EnterSpanRbwRatio(double ratio) = 0;
    // ATTENUATOR SETTING: index 0 .. 3 of 0, 5, 10, 15 dB.
    virtual std::optional<int> ChooseAttenuator(int index) = 0;
    // Extra Delay: milliseconds, 0 .. 5000.
    virtual std::optional<int> EnterExtraDelay(int milliseconds) = 0;
    // Enter TCP/IP settings.
    virtual std::optional<TcpIpSettings> EnterTcpIp(const TcpIpSettings& start) = 0;
};

}  // namespace tavlin
