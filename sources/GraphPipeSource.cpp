// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/GraphPipeSource.h"

#include <algorithm>
#include <type_traits>

namespace tavrisk {

namespace {

// A value of the stream as the chain takes it: 16-bit values scaled as every 16-bit source
// scales them, floats as they are.
float ChainValue(int16_t value) {
    return value * ChannelProcessor::kSampleScale;
}
float ChainValue(float value) {
    return value;
}

}  // namespace

GraphPipeSource::GraphPipeSource(JobHost& host, const JobSettings& settings)
    : ChainSource(host, settings,
                  Behaviour{.appliesResync = true, .lastBlock = LastBlock::kPadded}) {}

GraphPipeSource::~GraphPipeSource() = default;

bool GraphPipeSource::OpenInput() {
    frames.assign(kMaxRunFrames * kChannels, 0.0f);
    silence.assign(kMaxRunFrames * kChannels, 0.0f);
    StartPass();
    return true;
}

void GraphPipeSource::StartPass() {
    framesThisPass.store(0, std::memory_order_relaxed);
    partialCount = 0;
    damage.Start(inputRate);
    damagedTimes.clear();
    timeline.Start(inputRate, damage);
}

bool GraphPipeSource::StartPasses() {
    if (!normalizeEnabled) return PrepareOutputPass();
    pass = Pass::kAnalysis;
    chain.StartAnalysis();
    return true;
}

bool GraphPipeSource::AcceptFormat(int rate, int channels, bool readable,
                                   const std::string& layoutName, bool placed,
                                   const std::string& mapping) {
    if (failed) return false;
    std::string problem;
    // A later format whose channels the sink places, at the first rate, is carried.
    if (acceptedRate != 0 && readable && placed && rate == acceptedRate) return true;
    const std::string count = std::to_string(channels) + " channels";
    if (!readable) {
        problem = "its audio does not reach Tavrisk Wrapper as 16-bit or float PCM";
    } else if (!placed) {
        problem = "its audio is " +
                  (layoutName == count ? count : layoutName + " (" + count + ")") +
                  " whose positions are not known, and only six such channels are read (as L, "
                  "R, C, LFE, LS, RS)";
    } else if (rate != inputRate) {
        problem = "its audio is at " + std::to_string(rate) +
                  " Hz, but the input frequency is set to " + std::to_string(inputRate) + " Hz";
    }
    if (problem.empty()) {
        acceptedRate = rate;
        if (layoutNote.empty()) layoutNote = mapping;
        return true;
    }
    if (acceptedRate != 0) {
        problem = "its audio changes partway to " + layoutName + " at " + std::to_string(rate) +
                  " Hz, which this graph cannot carry into the output";
    }
    failed = true;
    return Fail("Cannot transcode '" + FileName() + "': " + problem + ".", kFormatTitle);
}

void GraphPipeSource::SetProgressBasis(double durationSeconds, double fraction) {
    duration.store(durationSeconds, std::memory_order_relaxed);
    byteFraction.store(fraction, std::memory_order_relaxed);
}

double GraphPipeSource::Elapsed() const {
    if (inputRate <= 0) return 0.0;
    return static_cast<double>(framesThisPass.load(std::memory_order_relaxed)) / inputRate;
}

double GraphPipeSource::InputPosition() const {
    if (duration.load(std::memory_order_relaxed) > 0.0) return Elapsed();
    return std::max(0.0, byteFraction.load(std::memory_order_relaxed));
}

double GraphPipeSource::InputSize() const {
    // Elapsed time can run past a length the container stated too short.
    const double length = duration.load(std::memory_order_relaxed);
    if (length > 0.0) return std::max(length, Elapsed());
    return byteFraction.load(std::memory_order_relaxed) >= 0.0 ? 1.0 : 0.0;
}

template <typename Value, typename Consumer>
void GraphPipeSource::Convert(const Value* values, std::size_t count, Consumer consume) {
    std::size_t used = 0;
    // A frame split between two buffers is completed first.
    if (partialCount > 0) {
        while (partialCount < kChannels && used < count)
            partial[partialCount++] = ChainValue(values[used++]);
        if (partialCount < kChannels) return;
        std::copy(partial.begin(), partial.end(), frames.begin());
        partialCount = 0;
        framesThisPass.fetch_add(1, std::memory_order_relaxed);
        consume(InputRun{frames.data(), 1});
    }
    while (count - used >= static_cast<std::size_t>(kChannels)) {
        const std::size_t run = std::min((count - used) / kChannels, kMaxRunFrames);
        const Value* in = values + used;
        used += run * kChannels;
        framesThisPass.fetch_add(run, std::memory_order_relaxed);
        // Floats are the chain's values already: the chain reads them where they are.
        if constexpr (std::is_same_v<Value, float>) {
            consume(InputRun{in, run});
        } else {
            for (std::size_t i = 0; i < run * kChannels; ++i) frames[i] = ChainValue(in[i]);
            consume(InputRun{frames.data(), run});
        }
    }
    while (used < count) partial[partialCount++] = ChainValue(values[used++]);
}

int64_t GraphPipeSource::StatedFrames() const {
    const double length = duration.load(std::memory_order_relaxed);
    return length > 0.0 ? static_cast<int64_t>(length * inputRate) : 0;
}

template <typename Consumer>
void GraphPipeSource::Silence(int64_t count, Consumer consume) {
    while (count > 0 && !failed) {
        const auto run =
            static_cast<std::size_t>(std::min<int64_t>(count, static_cast<int64_t>(kMaxRunFrames)));
        framesThisPass.fetch_add(run, std::memory_order_relaxed);
        consume(InputRun{silence.data(), run});
        count -= static_cast<int64_t>(run);
    }
}

template <typename Value, typename Consumer>
void GraphPipeSource::Place(const Value*& values, std::size_t& count,
                            std::optional<uint64_t> startNs, Consumer consume) {
    // A frame split between two buffers follows on from the first.
    if (partialCount > 0) startNs.reset();
    const auto whole = static_cast<int64_t>((partialCount + count) / kChannels);
    const StreamTimeline::Placement placement = timeline.Place(startNs, whole, StatedFrames());
    Silence(placement.silence, consume);
    const auto dropped = static_cast<std::size_t>(placement.drop) * kChannels;
    values += dropped;
    count -= dropped;
}

template <typename Value>
void GraphPipeSource::AnalyzeValues(const Value* values, std::size_t count,
                                    std::optional<uint64_t> startNs) {
    if (failed) return;
    const auto analyse = [this](const InputRun& run) {
        chain.SetControls(host.CurrentChannelControls());
        Analyze(run);
    };
    Place(values, count, startNs, analyse);
    Convert(values, count, analyse);
}

void GraphPipeSource::PushAnalysisSamples(const int16_t* values, std::size_t count,
                                          std::optional<uint64_t> startNs) {
    AnalyzeValues(values, count, startNs);
}

void GraphPipeSource::PushAnalysisSamples(const float* values, std::size_t count,
                                          std::optional<uint64_t> startNs) {
    AnalyzeValues(values, count, startNs);
}

bool GraphPipeSource::EndAnalysis() {
    StartPass();
    EndAnalysisPass();
    if (!PrepareOutputPass()) failed = true;
    return !failed;
}

template <typename Value>
bool GraphPipeSource::OutputValues(const Value* values, std::size_t count,
                                   std::optional<uint64_t> startNs, const BlockDrain& drain) {
    if (failed) return false;
    const auto output = [this, &drain](const InputRun& run) { Output(run, drain); };
    Place(values, count, startNs, output);
    Convert(values, count, output);
    return !failed;
}

bool GraphPipeSource::PushSamples(const int16_t* values, std::size_t count,
                                  std::optional<uint64_t> startNs, const BlockDrain& drain) {
    return OutputValues(values, count, startNs, drain);
}

bool GraphPipeSource::PushSamples(const float* values, std::size_t count,
                                  std::optional<uint64_t> startNs, const BlockDrain& drain) {
    return OutputValues(values, count, startNs, drain);
}

void GraphPipeSource::Output(const InputRun& run, const BlockDrain& drain) {
    if (failed) return;
    if (!Process(run) || (drain && BlockReady() && !drain())) failed = true;
}

void GraphPipeSource::NoteDecoderDamage(std::optional<uint64_t> atNs, int count) {
    // A frame the decoder met twice (decoded ahead, then flushed back to) is counted once.
    if (atNs && !damagedTimes.insert(*atNs).second) return;
    damage.DamagedFrames(atNs ? StreamTimeline::FramesOf(*atNs, inputRate) : timeline.Position(),
                         count);
}

void GraphPipeSource::NoteFormatStretch(const std::string& layout, int rate, uint64_t atNs) {
    const int64_t at = StreamTimeline::FramesOf(atNs, inputRate);
    if (!layout.empty()) damage.LayoutStretch(layout, at);
    if (rate > 0) damage.RateStretch(rate, at);
}

void GraphPipeSource::FinishInput() {
    if (!failed) {
        // The frames a demuxer cut from the end of the segment (a codec's padding) are
        // silence: the output keeps the stated length.
        Silence(timeline.TailTo(streamEndNs), [this](const InputRun& run) { Output(run, {}); });
        const int64_t stated = StatedFrames();
        const auto slack = std::max(static_cast<int64_t>(kEarlyEndSeconds * inputRate),
                                    static_cast<int64_t>(kEarlyEndShare * stated));
        const int64_t end =
            timeline.Position() + StreamTimeline::FramesOf(segmentOffsetNs, inputRate);
        if (stated > 0 && end + slack < stated) damage.EndedEarly(end, stated);
        if (!layoutNote.empty()) {
            reportedWarnings = true;
            host.ReportWarnings("'" + FileName() + "': " + layoutNote + ".", kLayoutTitle);
        }
        if (!damage.Empty()) {
            reportedWarnings = reportedWarnings || damage.HasWarnings();
            if (reportedWarnings)
                host.ReportWarnings(damage.Report(FileName()),
                                    damage.HasDamage() ? kDamageTitle : kFormatChangeTitle);
            else
                host.MessageBox(damage.Report(FileName()), kLateStartTitle, MessageButtons::Ok,
                                MessageIcon::Information);
        }
    }
    EndOfInput();
}

}  // namespace tavrisk
