#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dsp/ChannelProcessor.h"
#include "dsp/Resampler.h"
#include "host/JobHost.h"
#include "sources/SampleBlock.h"

namespace tavrisk {

// Base of every input, and the one input pipeline they share. A concrete source only opens
// its input, delivers runs of input frames (six floats, full scale +-1.0, in the order L, C,
// R, LS, RS, LFE), rewinds and says where it is. The base does the rest:
// - the analysis pass of two-pass normalisation, inside Open (progress 0..50 %);
// - the channel-processing chain on every frame, with the controls of each block;
// - the 48000 -> 44100 Hz conversion where asked, of the kind the host chooses, with the
//   frames it holds back given at the end of the input;
// - resync: silence inserted or output skipped at the start (sources that use it);
// - blocks of 1152 frames, the last one filled up with silence, stop requests, progress
//   and error reporting through the job host.
class SampleSource {
  public:
    static constexpr int kChannels = 6;
    // Silence that can be inserted at the start, in output frames.
    static constexpr int32_t kMaxInsertFrames = 2646000;
    // The most frames a concrete source delivers in one run.
    static constexpr std::size_t kMaxRunFrames = 4096;
    static constexpr float kAnalysisShare = 50.0f;
    static constexpr float kFullPercent = 100.0f;
    // A processed frame in block-row order L, R, C, LFE, LS, RS.
    using Frame = Resampler::Frame;

    virtual ~SampleSource();
    SampleSource(const SampleSource&) = delete;
    SampleSource& operator=(const SampleSource&) = delete;

    // Opens the input and checks its format, runs the analysis pass when normalising and
    // prepares the output pass. False after the source said why.
    bool Open(const std::string& name);
    // True: the block holds 1152 new frames. False: end of input, error or stop.
    bool ReadBlock(SampleBlock& block);
    virtual void Close() {}

    const std::string& FileName() const { return fileName; }
    const ChannelProcessor& Processor() const { return processor; }
    bool ResamplingNeeded() const { return resamplingNeeded; }
    // Resync offset in output frames (positive inserts, negative skips), once opened.
    int32_t ResyncFrames() const { return resyncFrames; }
    // A source that failed to open or read said why through the host's message boxes; this
    // is the last such text (empty when none).
    const std::string& LastError() const { return lastError; }
    // The input is of a kind this source does not read at all: nothing was done with it.
    bool Refused() const { return refused; }
    // The input was read to its end, neither stopped nor failed: what came out is whole.
    bool InputComplete() const { return inputDone && !stopSeen && lastError.empty(); }

  protected:
    // What happens to the frames left at the end of the input.
    enum class LastBlock {
        kPadded,        // frames left over make one more block, filled up with silence
        kPaddedAlways,  // one more block is delivered even when no frame is left over
    };
    struct Behaviour {
        bool appliesResync = false;
        LastBlock lastBlock = LastBlock::kPadded;
        // Input is pushed in from outside (PushAnalysis, PushOutput, EndOfInput) instead of
        // read through ReadInput: Open runs no analysis pass, and ReadBlock only takes what
        // was pushed.
        bool pushed = false;
    };
    struct InputRun {
        const float* frames = nullptr;  // count x 6 floats
        std::size_t count = 0;
    };
    enum class InputStatus { kFrames, kEnd, kFailed };

    SampleSource(JobHost& host, Behaviour behaviour);

    // Opens the input named by fileName and checks its format; false after Fail().
    virtual bool OpenInput() = 0;
    // The next run of at most kMaxRunFrames input frames; kFailed after Fail().
    virtual InputStatus ReadInput(InputRun& run) = 0;
    // Back to the start of the input, for the output pass after the analysis pass.
    virtual bool RewindInput() = 0;
    // Where reading stands against the input's size, in any one unit; size 0 when unknown.
    virtual double InputPosition() const = 0;
    virtual double InputSize() const = 0;
    // Before the output pass, a source may skip the start of its input itself (by seeking
    // over whole frames), leaving the rest of a negative resync offset in `resyncMs`.
    virtual bool SkipAhead(int32_t& resyncMs);

    // Shows a stop message box and keeps its text as the last error; false.
    bool Fail(const std::string& text, const std::string& title);
    // Fail() for an input of a kind this source does not read (Refused() turns true).
    bool Refuse(const std::string& text, const std::string& title);
    // The file's own rate decides: false (after a message naming both rates) when the job's
    // input frequency is another one.
    bool CheckInputRate(int fileRate);
    // --- Push-fed sources -------------------------------------------------------------
    // Analysis pass: one run of input frames into the peak analysis.
    void PushAnalysis(const InputRun& run);
    // Ends the analysis pass: normalisation gains, then the output pass starts (resync
    // included). False after a message.
    bool EndAnalysisPass();
    // Output pass: one run of input frames through the chain into the block queue. False once
    // the source failed (a refused resync).
    bool PushOutput(const InputRun& run);
    // A whole block waits to be taken by ReadBlock.
    bool BlockReady() const;
    // The input ended: the frames the rate conversion held back join the queue, and
    // ReadBlock then delivers the last, padded block.
    void EndOfInput();
    // The progress of the current pass, as the base computes it from InputPosition/InputSize.
    float CurrentPercent() const;

    // For a source that reads far without delivering a frame (a search for sync): shows the
    // progress of the current pass, which lets a front end handle its events, and tells
    // whether the job is asked to stop; the pass then ends as stopped, not as failed.
    bool PollStop();

    JobHost& host;
    std::string fileName;
    bool normalizeEnabled = false;

  private:
    enum class Pass { kOpening, kAnalysis, kOutput };

    bool AnalysisPass();
    // Prepares the output pass: a source's own skip ahead, then the resync offset.
    bool PrepareOutputPass();
    bool StartResync();
    std::size_t Available() const;
    // Reads one run of input into the queue; false at the end of the input or on an error.
    bool Refill();
    // The chain (and the rate conversion) over one run, into the queue.
    void Feed(const InputRun& run);
    // At the end of the input: the frames the rate conversion held back, into the queue.
    void FlushResampler();
    // Moves the queued frames to the front and makes room for `count` more.
    void MakeRoom(std::size_t count);
    // Drops queued frames while a negative resync offset is being skipped.
    void SkipQueued();
    std::size_t Queued() const { return queueEnd - queueStart; }
    void Take(SampleBlock& block, std::size_t count);
    float PassPercent(float share) const;
    float OutputPercent() const;

    Behaviour behaviour;
    Pass pass = Pass::kOpening;
    std::string lastError;
    bool refused = false;
    ChannelProcessor processor;
    bool resamplingNeeded = false;
    std::unique_ptr<Resampler> resampler;  // while resampling
    std::vector<Frame> processed;
    // Processed (and converted) frames waiting for a block: queue[queueStart, queueEnd).
    std::vector<Frame> queue;
    std::size_t queueStart = 0;
    std::size_t queueEnd = 0;

    int32_t resyncFrames = 0;
    bool resyncPending = false;
    int64_t silenceLeft = 0;
    int64_t skipLeft = 0;
    bool skipping = false;
    bool inputDone = false;
    bool stopSeen = false;
    bool ended = false;
    bool deliveredAny = false;
};

}  // namespace tavrisk
