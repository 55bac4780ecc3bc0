#include "sim/data_producer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavlin::sim {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();
constexpr long long kChunkPairs = 4096;

double NextTriggerEdge(double fromSec, double periodSec) {
    return std::ceil(fromSec / periodSec) * periodSec;
}

}  // namespace

DataProducer::DataProducer(const ReceiverModel& model, const ReceiverState& state)
    : model_(model), state_(state), scratch_(kChunkPairs * SampleSynthesizer::kBytesPerPair) {}

void DataProducer::RequestCapture(double nowSec, long long pairs, std::uint8_t headerFirstByte,
                                  bool waitForTrigger, double triggerPeriodSec) {
    DropTriggerWaits();
    Job job;
    job.kind = Kind::Capture;
    job.requestSec = nowSec;
    job.totalPairs = std::max(0LL, pairs);
    job.header[0] = headerFirstByte;
    job.waitsForTrigger = waitForTrigger;
    job.triggerPeriodSec = triggerPeriodSec;
    jobs_.push_back(job);
}

void DataProducer::StartStream(double nowSec) {
    DropTriggerWaits();
    Job job;
    job.kind = Kind::Stream;
    job.requestSec = nowSec;
    jobs_.push_back(job);
}

void DataProducer::StopStream() {
    DropTriggerWaits();
    for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
        if (it->kind != Kind::Stream || it->totalPairs >= 0) {
            continue;
        }
        if (it->active && it->headerSent) {
            it->totalPairs = it->producedPairs;  // ends at the next Produce
        } else {
            jobs_.erase(it);
        }
        return;
    }
}

void DataProducer::RunStepList(double nowSec, int first, int last, int missingBlock) {
    DropTriggerWaits();
    Job job;
    job.kind = Kind::StepList;
    job.requestSec = nowSec;
    job.firstStep = first;
    job.stepDirection = first > last ? -1 : 1;
    job.blockCount = std::abs(last - first) + 1;
    job.missingBlock = missingBlock;
    jobs_.push_back(job);
}

void DataProducer::DropTriggerWaits() {
    std::erase_if(jobs_, [](const Job& job) { return job.waitsForTrigger && !job.headerSent; });
}

void DataProducer::Clear() {
    jobs_.clear();
    previousEndSec_ = 0.0;
}

void DataProducer::Produce(double nowSec, ReceiveFifo& rx) {
    while (!jobs_.empty()) {
        Job& job = jobs_.front();
        Activate(job);
        if (nowSec < job.startSec) {
            return;
        }
        const bool finished = job.kind == Kind::StepList ? ProduceSteps(job, nowSec, rx)
                                                         : ProducePairs(job, nowSec, rx);
        if (!finished) {
            return;
        }
        previousEndSec_ = job.endSec;
        jobs_.pop_front();
    }
}

double DataProducer::ReadySec(std::size_t bytes) {
    if (jobs_.empty()) {
        return kNever;
    }
    Job& job = jobs_.front();
    Activate(job);
    const auto pairBytes = static_cast<long long>(SampleSynthesizer::kBytesPerPair);
    auto wanted = static_cast<long long>(bytes);
    if (job.kind == Kind::StepList) {
        const long long blockBytes = kBlockPairs * pairBytes;
        const long long blocks = std::min((wanted + blockBytes - 1) / blockBytes,
                                          static_cast<long long>(job.blockCount - job.blocksDone));
        return job.startSec + static_cast<double>(job.blocksDone + blocks) * job.blockSec;
    }
    double fromSec = 0.0;
    double rateHz = job.rateHz;
    long long left = job.totalPairs >= 0 ? job.totalPairs - job.producedPairs : wanted;
    if (job.headerSent) {
        fromSec = NextSampleSec(job);
    } else {
        // The header comes when sampling starts, the pairs after it.
        fromSec = job.startSec;
        rateHz = model_.OutputRateHz(state_);
        wanted -= static_cast<long long>(job.header.size());
    }
    // A pair can be read one sample period after it was sampled.
    const long long pairs = std::min((std::max(0LL, wanted) + pairBytes - 1) / pairBytes, left);
    return fromSec + static_cast<double>(pairs) / rateHz;
}

// A request starts when the one before it has ended, and a capture that
// waits for TRIG IN at the first edge after that.
void DataProducer::Activate(Job& job) {
    if (job.active) {
        return;
    }
    job.active = true;
    const double begin = std::max(job.requestSec, previousEndSec_);
    job.startSec = begin;
    if (job.waitsForTrigger) {
        job.startSec =
            job.triggerPeriodSec > 0.0 ? NextTriggerEdge(begin, job.triggerPeriodSec) : kNever;
    }
    if (job.kind == Kind::StepList) {
        job.blockSec = kStepSettleSec + kBlockPairs / model_.OutputRateHz(state_);
    }
}

bool DataProducer::ProducePairs(Job& job, double nowSec, ReceiveFifo& rx) {
    if (!job.headerSent) {
        rx.Push(job.header.data(), job.header.size());
        job.headerSent = true;
        Replan(job, job.startSec);
    } else if (job.planVersion != state_.version) {
        Replan(job, NextSampleSec(job));
    }
    const double elapsedPairs = std::floor((nowSec - job.paceSec) * job.rateHz + 1e-9);
    long long due = job.pacePairs + static_cast<long long>(std::max(0.0, elapsedPairs));
    if (job.totalPairs >= 0) {
        due = std::min(due, job.totalPairs);
    }
    if (due > job.producedPairs) {
        Emit(job, due - job.producedPairs, rx);
    }
    if (job.totalPairs >= 0 && job.producedPairs >= job.totalPairs) {
        job.endSec = job.paceSec + (job.totalPairs - job.pacePairs) / job.rateHz;
        return true;
    }
    return false;
}

bool DataProducer::ProduceSteps(Job& job, double nowSec, ReceiveFifo& rx) {
    const std::size_t blockBytes = kBlockPairs * SampleSynthesizer::kBytesPerPair;
    while (job.blocksDone < job.blockCount) {
        const double dueSec = job.startSec + (job.blocksDone + 1) * job.blockSec;
        if (nowSec < dueSec) {
            return false;
        }
        if (job.blocksDone == job.missingBlock) {
            ++job.blocksDone;
            continue;
        }
        if (rx.Room() < blockBytes) {
            return false;  // the firmware waits for the FIFO to drain
        }
        const int step = job.firstStep + job.stepDirection * job.blocksDone;
        const double captureSec = dueSec - kBlockPairs / model_.OutputRateHz(state_);
        plan_ = PlanAt(model_.StepLoHz(state_, step), captureSec);
        synthesizer_.Start(plan_, captureSec);
        synthesizer_.Render(scratch_.data(), kBlockPairs);
        rx.Push(scratch_.data(), blockBytes);
        ++job.blocksDone;
    }
    job.endSec = job.startSec + job.blockCount * job.blockSec;
    return true;
}

SamplePlan DataProducer::PlanAt(double loHz, double atSec) const {
    SamplePlan plan = model_.Plan(state_, loHz);
    // Times are sums of milliseconds in floating point: a capture asked for
    // on the very millisecond the sampler settles is a settled one.
    constexpr double kClockResolutionSec = 1e-6;
    plan.silent = plan.silent || atSec + kClockResolutionSec < state_.samplerSettledSec;
    return plan;
}

void DataProducer::Replan(Job& job, double atSec) {
    plan_ = PlanAt(model_.SynthesizerLoHz(state_), atSec);
    synthesizer_.Start(plan_, atSec);
    job.paceSec = atSec;
    job.pacePairs = job.producedPairs;
    job.rateHz = plan_.outputRateHz;
    job.planVersion = state_.version;
}

void DataProducer::Emit(Job& job, long long pairs, ReceiveFifo& rx) {
    const long long room = static_cast<long long>(rx.Room() / SampleSynthesizer::kBytesPerPair);
    const long long kept = std::min(pairs, room);
    for (long long done = 0; done < kept;) {
        const long long chunk = std::min(kChunkPairs, kept - done);
        synthesizer_.Render(scratch_.data(), static_cast<std::size_t>(chunk));
        rx.Push(scratch_.data(),
                static_cast<std::size_t>(chunk) * SampleSynthesizer::kBytesPerPair);
        done += chunk;
    }
    job.producedPairs += pairs;
    if (kept < pairs) {
        // An overrun: the lost pairs were sampled but never sent.
        lostPairs_ += pairs - kept;
        synthesizer_.Start(plan_, NextSampleSec(job));
    }
}

// When the next pair is sampled; it can be read one sample period later.
double DataProducer::NextSampleSec(const Job& job) const {
    return job.paceSec + static_cast<double>(job.producedPairs - job.pacePairs) / job.rateHz;
}

}  // namespace tavlin::sim
