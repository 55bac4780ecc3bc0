#pragma once

#include "remote/scpi_utility_runner.h"

namespace tavlin {

class AnalyzerDocument;

// The SCPI session's measurements, run as `tavlin-cli --utility` runs them:
// both programs hand one to their SCPI server.
class UtilityRunner final : public ScpiUtilityRunner {
  public:
    explicit UtilityRunner(AnalyzerDocument& document) : doc_(document) {}

    bool Available() const override;
    std::optional<ScpiReceiverResult> RunReceiver(const ScpiReceiverSettings& settings,
                                                  int captures) override;
    std::vector<ScpiPoint> RunHarmonics() override;
    std::vector<ScpiPoint> RunPhaseNoise() override;
    std::string RecordAudio(const std::filesystem::path& file, double seconds, bool fm,
                            const std::atomic<bool>& stop) override;

  private:
    AnalyzerDocument& doc_;
};

}  // namespace tavlin
