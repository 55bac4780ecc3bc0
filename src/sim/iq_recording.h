#pragma once

#include <complex>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tavlin::sim {

// A SigMF recording of complex 16-bit samples as an emitter on the RF input:
// the virtual unit's own reader, independent of whatever wrote the file.
// The samples are kept in the square root of milliwatts at RF IN, so that
// |x|^2 is the power in mW: a capture's counts are turned into dBm by the
// scale its capture entry carries ("tavlin:scale_db"); without one, full
// scale is taken as 0 dBm. Where the entry also says what the recorder's
// filters did across the band ("tavlin:band_correction_db"), that is taken
// out, so the samples are the input's.
class IqRecording {
  public:
    static constexpr std::size_t kMaxDataBytes = 64u * 1024u * 1024u;
    // A longer capture is played from its first this many pairs: each start
    // of a capture weighs its segment through a transform of its length.
    static constexpr std::size_t kMaxSegmentPairs = 1u << 17;

    // Reads NAME.sigmf-meta and the NAME.sigmf-data beside it. Only the
    // captures tuned where the first one is are kept, each as a segment of
    // its own. Nothing, with `error`, when the pair cannot be read or is not
    // of 16-bit complex little-endian samples.
    static std::shared_ptr<const IqRecording> Load(const std::filesystem::path& metaPath,
                                                   std::string& error);

    double SampleRateHz() const { return sampleRateHz_; }
    double CenterHz() const { return centerHz_; }
    // Mean power of all kept samples, in dBm.
    double MeanPowerDbm() const { return meanPowerDbm_; }
    const std::vector<std::vector<std::complex<float>>>& Segments() const { return segments_; }

  private:
    double sampleRateHz_ = 0.0;
    double centerHz_ = 0.0;
    double meanPowerDbm_ = -200.0;
    std::vector<std::vector<std::complex<float>>> segments_;
};

}  // namespace tavlin::sim
