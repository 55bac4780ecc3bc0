#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/reading_flag.h"
#include "utilities/receiver/audio_tone_finder.h"

// The measuring receiver's processing of one capture: FM discriminator, RF
// counter, audio filters, AM envelope, relative power and the range control.
// No device and no thread: the worker hands it a capture and acts on what it
// returns.
namespace tavlin {

// What the dialog's controls say; the worker reads them once per pass.
struct ReceiverControls {
    std::string ifBandwidth = "15 KHz";
    bool bandPass = true;
    double lowPassCutoffHz = 3000.0;
    double bandPassCentreHz = 1000.0;
    bool syncDetector = false;
    bool showFm = true;
    bool showAm = false;
};

// "240 KHz" 1, "120 KHz" 2, "60 KHz" 4, "30 KHz" 8, anything else 16.
int DecimationForBandwidth(std::string_view text);
// The setting that names an IF bandwidth in Hz (15000: "15 KHz"); empty
// when the receiver has no such bandwidth.
std::string IfBandwidthSetting(double hz);

// Empty when the audio filter can be built from the controls at decimation
// D, else why not: a cut-off or centre of 0 Hz, or one at or beyond half the
// decimated sample rate, names no filter.
std::string ControlsRefusal(const ReceiverControls& controls, int decimation);

// How the capture was tuned.
struct ReceiverTuning {
    double tunedHz = 0.0;       // the wanted tuned frequency
    bool loHighSide = true;     // LO1 above the signal
    bool mirrored = false;      // clock mode 1 on the 10.7 MHz path
    double loErrorHz = 0.0;     // LO1's residual error, signed for its side
    double sampleRateHz = 0.0;  // before decimation
    int decimation = 16;
};

// The numbers of a pass, as its results text shows them.
struct ReceiverReading {
    // One modulation block: deviation in Hz (FM) or depth in % (AM), and
    // the tone's frequency (0: no tone crossed zero).
    struct Block {
        bool shown = false;
        double rms = 0.0;
        double peakPlus = 0.0;
        double peakMinus = 0.0;  // as the text shows it: FM signed, AM a positive depth
        double audioHz = 0.0;
        ReadingFlag flag = ReadingFlag::kNone;  // beyond the IF or audio filter
    };
    double counterHz = 0.0;
    ReadingFlag counterFlag = ReadingFlag::kNone;
    double relativeDb = 0.0;
    double averagedDb = 0.0;
    Block fm;
    Block am;
};

// What the range control asks of the device after a pass.
struct RangeAction {
    enum class Button { Keep, Show, Hide } button = Button::Keep;
    enum class Range { Keep, Sensitive, Normal } range = Range::Keep;
};

class ReceiverAnalysis {
  public:
    static constexpr int kSamples = 65536;
    static constexpr int kSettle = 16384;

    ReceiverAnalysis();

    // The state of a new worker run: reference 5.0, empty history.
    void Restart();
    // Processes one capture of kSamples pairs; returns the results text.
    std::string Process(std::span<const std::int32_t> i, std::span<const std::int32_t> q,
                        const ReceiverTuning& tuning, const ReceiverControls& controls);
    // The range control after a pass, from that pass's envelope sum.
    RangeAction UpdateRange();
    // "Cal Range": the next pass switches to the sensitive range.
    void RequestRangeChange() { rangeMode_ = 3; }
    int RangeMode() const { return rangeMode_; }
    // The numbers of the last pass.
    const ReceiverReading& Reading() const { return reading_; }
    double CarrierOffsetHz() const { return carrierOffsetHz_; }

  private:
    struct Tone {
        double rms = 0.0;
        double peakPlus = -1e9;
        double peakMinus = 1e9;
        double audioHz = 0.0;
    };
    void Filter(const ReceiverControls& c, const ReceiverTuning& tuning, bool envelope);
    static Tone Analyse(std::span<const double> x, double armBelow, double rateHz);
    void Discriminate(std::span<const std::int32_t> i, std::span<const std::int32_t> q,
                      const ReceiverTuning& tuning);
    double ShareBeyond(double edgeHz) const;
    AudioToneFinder::Tone FindTone(double mean, double rateHz);
    double Envelope(std::span<const std::int32_t> i, std::span<const std::int32_t> q);
    double Power(std::span<const std::int32_t> i, std::span<const std::int32_t> q,
                 const ReceiverTuning& tuning, bool sync);
    std::string RelativePower(double power);

    ReceiverReading reading_;
    std::vector<double> work_;
    std::vector<double> re_;
    std::vector<double> im_;
    std::vector<double> taps_;
    AudioToneFinder toneFinder_;
    double carrierOffsetHz_ = 0.0;
    double envelopeSum_ = 0.0;
    // Relative power.
    double referencePower_ = 5.0;
    std::vector<double> history_;  // oldest first, newest last
    bool started_ = false;
    bool lastSync_ = false;
    double lockedOffsetHz_ = 0.0;
    // Range: 0 normal, 3 change asked, 2 changed and calibration pending,
    // 1 sensitive with the calibration offset applied.
    int rangeMode_ = 0;
    double calOffsetDb_ = 0.0;
    bool sensitiveSet_ = false;
};

}  // namespace tavlin
