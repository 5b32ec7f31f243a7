// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sources/ChainSource.h"
#include "sources/DamageLog.h"
#include "sources/StreamTimeline.h"

namespace tavrisk {

// The source of a graph job: the pipeline decodes the input and its sink element pushes the
// PCM in, buffer by buffer, on the streaming thread; this source turns that push stream into
// the engine's blocks. Values arrive as interleaved 16-bit samples, six per frame, in the
// order L, C, R, LS, RS, LFE. With normalisation the stream is pushed twice: first into the
// analysis (PushAnalysisSamples), then, after EndAnalysis, into the output. Each buffer is
// placed on the programme's clock by its timestamp (StreamTimeline), in both passes alike;
// what was filled, dropped or damaged is told once, when the output pass ends (FinishInput).
class GraphPipeSource : public ChainSource {
  public:
    static constexpr const char* kFormatTitle = "Tavrisk Graph Error";
    static constexpr const char* kDamageTitle = "Damaged input";
    static constexpr const char* kFormatChangeTitle = "Input changes format";
    static constexpr const char* kLateStartTitle = "Input starts late";
    static constexpr const char* kLayoutTitle = "Input layout mapped";
    // An input whose sound ends this much before its stated length, and by this share of
    // it, was cut short (a raw stream's length is only estimated from its bit rate).
    static constexpr double kEarlyEndSeconds = 0.25;
    static constexpr double kEarlyEndShare = 0.01;
    // Encodes the blocks the source holds; false when that failed.
    using BlockDrain = std::function<bool()>;

    GraphPipeSource(JobHost& host, const JobSettings& settings);
    ~GraphPipeSource() override;

    // The format the stream was negotiated in. The first decides: false (after a message
    // naming the input and what is wrong) unless it is PCM the sink reads (`readable`: 16-bit
    // or float) whose channels it `placed` into the six, at the job's input frequency; how
    // they were placed (`mapping`, "" for 5.1) is reported once, as a warning, when the input
    // ends. A later one (a mid-stream change) is taken when its channels are placed and its
    // rate is the first's.
    bool AcceptFormat(int rate, int channels, bool readable, const std::string& layoutName,
                      bool placed, const std::string& mapping = "");

    // Frames from now on come with L, C, R, LS, RS, LFE where `slotOfChannel` says.
    void SetInputOrder(const ChannelProcessor::FrameLayout& slotOfChannel) {
        chain.SetInputOrder(slotOfChannel);
    }

    // What progress is measured against, set from the pipeline's queries: the stream's
    // length in seconds (0 when unknown) and the share of the file read (negative when
    // unknown). Either may be updated from another thread than the streaming one.
    void SetProgressBasis(double durationSeconds, double byteFraction);

    // Analysis pass. A remainder of less than a frame waits for the next buffer. `startNs`
    // is the buffer's place on the programme's clock (none: it follows on). Values are 16-bit
    // (full scale 32767) or float (full scale +-1.0, taken as they are: the chain rounds them
    // to 16 bits once, at its end).
    void PushAnalysisSamples(const int16_t* values, std::size_t count,
                             std::optional<uint64_t> startNs = {});
    void PushAnalysisSamples(const float* values, std::size_t count,
                             std::optional<uint64_t> startNs = {});
    // Between the passes: normalisation gains, the output pass from the start of the stream.
    bool EndAnalysis();
    // Output pass; `drain` is called whenever a block is ready. False once the source has
    // failed.
    bool PushSamples(const int16_t* values, std::size_t count, std::optional<uint64_t> startNs = {},
                     const BlockDrain& drain = {});
    bool PushSamples(const float* values, std::size_t count, std::optional<uint64_t> startNs = {},
                     const BlockDrain& drain = {});
    // Where the stream's segment ends on the programme's clock (none: open), and how far
    // that clock's zero lies past the zero the container's stated length counts from.
    void SetSegment(std::optional<uint64_t> endNs, uint64_t startOffsetNs) {
        streamEndNs = endNs;
        segmentOffsetNs = startOffsetNs;
    }
    // Output pass: `frames` frames a decoder reported damaged at `atNs` on the programme's
    // clock (none: where the stream stands).
    void NoteDecoderDamage(std::optional<uint64_t> atNs, int frames);
    // Output pass: a stretch of the stream from `atNs` of stream time in another layout (its
    // name, or "") or at another rate (Hz, or 0), which the graph mapped or converted.
    void NoteFormatStretch(const std::string& layout, int rate, uint64_t atNs);
    // What is wrong with the input's files, found before they were read ("": nothing).
    void NoteInputDamage(const std::string& text) { damage.InputDamage(text); }
    // Lines the decoding libraries logged while the stream was read.
    void NoteLibraryMessages(uint64_t count) { damage.LibraryMessages(count); }
    // The end of the output pass: the rest of the stream's segment, the report of what was
    // overcome; the last, padded block is read next.
    void FinishInput();
    // The report carried warnings: the job completes with warnings.
    bool ReportedWarnings() const { return reportedWarnings || LoudnessWarned(); }
    // A whole block waits to be read.
    bool BlockReady() const { return !Ended() && chain.BlockReady(); }
    using ChainSource::CurrentPercent;
    // The input ended: the last, padded block can be read.
    using ChainSource::EndOfInput;

    // Seconds of input consumed in the current pass.
    double Elapsed() const;

  protected:
    bool OpenInput() override;
    // With normalisation the analysis pass is pushed in first; else the output pass starts.
    bool StartPasses() override;
    // Blocks are read as they get ready, and the last one once the input has ended.
    bool FillChain() override { return inputDone || chain.BlockReady(); }
    double InputPosition() const override;
    double InputSize() const override;

  private:
    // Converts whole frames to the chain's floats and hands them on in runs; keeps a partial
    // frame.
    template <typename Value, typename Consumer>
    void Convert(const Value* values, std::size_t count, Consumer consume);
    // Places the buffer on the clock: silence before it, or the overlapping frames dropped
    // from its front (the values that remain are returned through `values` and `count`).
    template <typename Value, typename Consumer>
    void Place(const Value*& values, std::size_t& count, std::optional<uint64_t> startNs,
               Consumer consume);
    template <typename Value>
    void AnalyzeValues(const Value* values, std::size_t count, std::optional<uint64_t> startNs);
    template <typename Value>
    bool OutputValues(const Value* values, std::size_t count, std::optional<uint64_t> startNs,
                      const BlockDrain& drain);
    template <typename Consumer>
    void Silence(int64_t frames, Consumer consume);
    // Output pass: one run into the blocks, `drain` called when one is ready.
    void Output(const InputRun& run, const BlockDrain& drain);
    // The input's stated length in frames (0 when unknown).
    int64_t StatedFrames() const;
    void StartPass();

    int acceptedRate = 0;  // of the first format, once accepted
    std::string layoutNote;  // how the first format's channels were placed
    std::atomic<double> duration{0.0};
    std::atomic<double> byteFraction{-1.0};
    std::atomic<uint64_t> framesThisPass{0};
    std::array<float, kChannels> partial{};  // the chain's values of a split frame
    int partialCount = 0;
    std::vector<float> frames;
    std::vector<float> silence;  // one run of silent frames
    bool failed = false;
    DamageLog damage;
    std::set<uint64_t> damagedTimes;  // of the frames noted damaged in this pass, ns
    StreamTimeline timeline;
    std::optional<uint64_t> streamEndNs;
    uint64_t segmentOffsetNs = 0;
    bool reportedWarnings = false;
};

}  // namespace tavrisk
