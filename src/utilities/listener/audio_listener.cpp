#include "utilities/listener/audio_listener.h"

#include "document/analyzer_document.h"
#include "document/instrument_lease.h"
#include "ports/clock.h"
#include "ports/log.h"
#include "ports/prompter.h"
#include "utilities/fixed_tune_context.h"

namespace tavlin {

namespace {

constexpr int kWideDecimation = 2;
constexpr int kNarrowDecimation = 8;
constexpr int kWideFetches = 4;
constexpr int kSettleMs = 50;
constexpr int kStreamEndMs = 20;
// A sound device that takes nothing for this long has stopped playing.
constexpr std::chrono::milliseconds kWriteTimeout{2000};
constexpr int kCloseSettleMs = 125;
constexpr int kPurgeSettleMs = 25;

}  // namespace

AudioListener::AudioListener(InstrumentLease& instrument, AudioSink& sink,
                             std::function<void()> ended)
    : instrument_(instrument), doc_(instrument.Document()), sink_(sink), ended_(std::move(ended)) {}

AudioListener::~AudioListener() {
    Stop();
}

bool AudioListener::Start(const ListenSettings& settings) {
    Stop();
    if (!sink_.Open(kFormat)) {
        LogWarning("utility", "listener: the sound output did not open: " + sink_.Error());
        doc_.GetPrompter().Inform(kOpenFailedText, kOpenFailedCaption);
        std::lock_guard lock(mutex_);
        failure_ = std::string(kOpenFailedText) +
                   (sink_.Error().empty() ? "" : " (" + sink_.Error() + ")");
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        ring_.Clear();
        stopping_ = false;
        producing_ = true;
        audioDone_ = false;
        failure_.clear();
    }
    fm_ = settings.fm;
    valuesWritten_ = 0;
    maxValues_ = settings.maxValues;
    playing_ = true;
    LogInfo("utility", "listener started");
    audio_ = std::thread([this, settings] { AudioThread(settings); });
    return true;
}

// The handshake: STOP ends every wait of both threads (for a free block, for
// a queued one, for room in the sound device) and joins them.
void AudioListener::Stop() {
    if (!audio_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    sink_.RequestStop();
    JoinAudioThread();
    playing_ = false;
    LogInfo("utility", "listener stopped");
}

// The audio thread may be waiting for a message box ("Time out waiting for
// data") that only the waiting GUI thread can show.
void AudioListener::JoinAudioThread() {
    std::unique_lock lock(mutex_);
    while (!changed_.wait_for(lock, std::chrono::milliseconds(25), [this] { return audioDone_; })) {
        lock.unlock();
        doc_.ServeWaitHookAndSleep();
        lock.lock();
    }
    lock.unlock();
    audio_.join();
}

bool AudioListener::WaitForValues(std::int64_t values, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return valuesWritten_.load() >= values || !playing_; });
    return valuesWritten_.load() >= values;
}

std::string AudioListener::Failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

void AudioListener::Fail(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (failure_.empty()) {
            failure_ = why;
            LogWarning("utility", "listener failed: " + why);
        }
        stopping_ = true;
    }
    changed_.notify_all();
}

void AudioListener::AudioThread(ListenSettings settings) {
    output_ = std::thread([this] { OutputThread(); });
    demodulator_.Start(TuneInstrument(settings));
    instrument_.Link().StartStream();
    instrument_.Link().ReadStreamHeader();
    while (Block* block = AcquireFree()) {
        if (!FillBlock(*block, settings.wideIf)) {
            Fail(kNoDataText);
            break;
        }
        Queue();
    }
    instrument_.Link().StopStream();
    doc_.GetClock().SleepMs(kStreamEndMs);
    instrument_.Link().PurgeBoth();
    // LO1 now holds the listener's tuning, not a sweep's plan.
    instrument_.ForgetLoPlan();
    {
        std::lock_guard lock(mutex_);
        producing_ = false;
    }
    changed_.notify_all();
    output_.join();
    if (!sink_.Close()) {
        Fail(sink_.Error());
    }
    EndStream();
}

// The listener tunes the engine alone, as a sweep of zero span at the
// frequency would: the document's start and stop stay as they are.
ListenerTuning AudioListener::TuneInstrument(const ListenSettings& settings) {
    FixedTuneContext tuned(instrument_, settings.freqHz);
    SweepContext& context = tuned.context;
    instrument_.Link().SetIfPath(0);
    const LoTuning lo = instrument_.TuneLocalOscillators(context);
    const int decimation = settings.wideIf ? kWideDecimation : kNarrowDecimation;
    instrument_.Link().SetDecimation(decimation);
    doc_.GetClock().SleepMs(kSettleMs);

    ListenerTuning tuning;
    tuning.wideIf = settings.wideIf;
    tuning.deemphasisUs = settings.deemphasisUs;
    tuning.processingRateHz = context.plan.receiver.sampleRateHz / decimation;
    tuning.loErrorHz = lo.lo1ErrorHz;
    tuning.mirrored = lo.clockMode == 1;
    return tuning;
}

// One block of sound: one fetch of 4096 pairs on the narrow IF, four on the
// wide IF (each giving every fourth value).
bool AudioListener::FillBlock(Block& block, bool wideIf) {
    const int fetches = wideIf ? kWideFetches : 1;
    std::size_t filled = 0;
    for (int f = 0; f < fetches; ++f) {
        if (!instrument_.Link().ReadStreamBlock(i_.data(), q_.data())) {
            return false;
        }
        filled += demodulator_.ProcessFetch(i_, q_, fm_.load(), std::span(block).subspan(filled));
    }
    return filled == block.size();
}

void AudioListener::EndStream() {
    bool byItself = false;
    {
        std::lock_guard lock(mutex_);
        playing_ = false;
        byItself = !failure_.empty();
    }
    changed_.notify_all();
    if (byItself && ended_) {
        ended_();
    }
    {
        std::lock_guard lock(mutex_);
        audioDone_ = true;
    }
    changed_.notify_all();
}

AudioListener::Block* AudioListener::AcquireFree() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ring_.Room() > 0 || stopping_; });
    return stopping_ ? nullptr : &ring_.Back();
}

void AudioListener::Queue() {
    {
        std::lock_guard lock(mutex_);
        ring_.Commit();
    }
    changed_.notify_all();
}

void AudioListener::ReleasePlayed() {
    {
        std::lock_guard lock(mutex_);
        ring_.DropFront();
    }
    changed_.notify_all();
}

// Plays the queued blocks in order until the audio thread is done and the
// ring is empty. The blocks queued before a STOP still go to the sink: a
// recording keeps them, the sound card drops what it would wait for.
void AudioListener::OutputThread() {
    bool broken = false;  // after a failure the rest is dropped, not retried
    for (;;) {
        const Block* block = nullptr;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return ring_.Size() > 0 || !producing_; });
            if (ring_.Size() == 0) {
                return;
            }
            block = &ring_.Front();
        }
        std::span<const std::int16_t> values(*block);
        if (maxValues_ > 0) {
            const std::int64_t room = std::max<std::int64_t>(maxValues_ - valuesWritten_.load(), 0);
            values =
                values.first(static_cast<std::size_t>(std::min<std::int64_t>(room, kBlockValues)));
        }
        const AudioSink::WriteResult result = broken || values.empty()
                                                  ? AudioSink::WriteResult::Stopped
                                                  : sink_.Write(values, kWriteTimeout);
        if (result == AudioSink::WriteResult::Written) {
            valuesWritten_ += static_cast<std::int64_t>(values.size());
        } else if (result == AudioSink::WriteResult::TimedOut) {
            broken = true;
            Fail("the sound device stopped playing");
        } else if (result == AudioSink::WriteResult::Failed) {
            broken = true;
            Fail("the sound device failed: " + sink_.Error());
        }
        ReleasePlayed();
    }
}

ListenSettings OpeningListenSettings(const AnalyzerDocument& document) {
    ListenSettings settings;
    const FrequencyPair f = document.Frequencies();
    settings.freqHz = f.CenterHz();
    document.ReadSettings([&settings](const InstrumentState& s) {
        settings.fm = s.listenFm;
        settings.wideIf = s.listenWideIf;
        settings.deemphasisUs = s.listenDeemphasisUs;
    });
    const MarkerState m = document.ReadTrace([](const auto& screen) { return screen.markers; });
    if (m.marker1On != 0 && f.startHz < m.marker1Pos && m.marker1Pos < f.stopHz) {
        settings.freqHz = m.marker1Pos;
    }
    return settings;
}

// In zero span marker 1 counts milliseconds: a frequency written there would
// put it far off the screen, so it keeps its place.
void CloseListening(InstrumentLease& instrument, const ListenSettings& settings) {
    AnalyzerDocument& document = instrument.Document();
    const FrequencyPair f = document.Frequencies();
    if (f.stopHz > f.startHz) {
        document.EditMarkers([&](MarkerState& m, const auto&) { m.marker1Pos = settings.freqHz; });
    }
    document.EditSettings([&settings](InstrumentState& s) {
        s.listenFm = settings.fm;
        s.listenWideIf = settings.wideIf;
        s.listenDeemphasisUs = settings.deemphasisUs;
    });
    document.GetClock().SleepMs(kCloseSettleMs);
    instrument.Link().PurgeBoth();
    document.GetClock().SleepMs(kPurgeSettleMs);
}

}  // namespace tavlin
