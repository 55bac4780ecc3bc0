// Recording the raw captures of the sweep: the recorder the sweep passes
// hand their captures to.
#include "document/analyzer_document.h"

#include "document/instrument_info.h"

namespace tavlin {

bool AnalyzerDocument::StartIqRecording(const std::filesystem::path& path, double seconds,
                                        std::string& error) {
    const InstrumentState settings = Settings();
    std::lock_guard lock(iqMutex_);
    if (iqRecorder_ && iqRecorder_->Status().running) {
        error = "An I/Q recording is already running: " + iqRecorder_->MetaPath().string();
        return false;
    }
    IqRecorder::Unit unit{PrintableText(settings.deviceSerial),
                          PrintableText(settings.firmwareVersion), recorderName_};
    auto recorder = std::make_shared<IqRecorder>(path, std::move(unit), seconds);
    if (!recorder->Start(error)) {
        return false;
    }
    if (iqRecorder_) {
        iqRecorder_->Stop();
    }
    iqRecorder_ = std::move(recorder);
    return true;
}

void AnalyzerDocument::StopIqRecording() {
    std::shared_ptr<IqRecorder> recorder;
    {
        std::lock_guard lock(iqMutex_);
        recorder = iqRecorder_;
    }
    if (recorder) {
        recorder->Stop();
    }
}

std::optional<IqRecordingStatus> AnalyzerDocument::IqRecording() const {
    std::lock_guard lock(iqMutex_);
    if (!iqRecorder_) {
        return std::nullopt;
    }
    return iqRecorder_->Status();
}

void AnalyzerDocument::SetRecorderName(std::string name) {
    std::lock_guard lock(iqMutex_);
    recorderName_ = std::move(name);
}

std::shared_ptr<IqRecorder> AnalyzerDocument::RunningIqRecorder() const {
    std::lock_guard lock(iqMutex_);
    if (iqRecorder_ && iqRecorder_->Status().running) {
        return iqRecorder_;
    }
    return nullptr;
}

}  // namespace tavlin
