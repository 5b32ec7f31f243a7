// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engines/BlockSource.h"
#include "host/JobHost.h"
#include "host/JobSettings.h"
#include "sources/LoudnessTaps.h"
#include "sources/ProcessingChain.h"

namespace tavrisk {

// A block source whose input goes through the processing chain for its job. It gives the
// chain the job's settings (read once, when the source is made) and live controls, reports through
// the job host what the chain returns, and says how the input ended. How input reaches the chain is
// its subclass's: native sources pull it from a file (SampleSource), the graph's receiver pushes it
// in (GraphPipeSource).
class ChainSource : public BlockSource {
  public:
    static constexpr int kChannels = ProcessingChain::kChannels;
    // The most frames a source hands the chain in one run.
    static constexpr std::size_t kMaxRunFrames = ProcessingChain::kMaxRunFrames;
    static constexpr float kAnalysisShare = 50.0f;
    static constexpr float kFullPercent = 100.0f;

    ~ChainSource() override;
    ChainSource(const ChainSource&) = delete;
    ChainSource& operator=(const ChainSource&) = delete;

    // Opens the input and checks its format, starts the analysis pass when normalising or
    // else prepares the output pass. False after the source said why.
    bool Open(const std::string& name) final;
    BlockRead ReadBlock(SampleBlock& block) final;

    const std::string& FileName() const { return fileName; }
    const ChannelProcessor& Processor() const { return chain.Processor(); }
    bool ResamplingNeeded() const { return chain.Resampling(); }
    // Resync offset in output frames (positive inserts, negative skips), once opened.
    int32_t ResyncFrames() const { return chain.ResyncFrames(); }
    // A source that failed to open or read said why through the host's message boxes; this
    // is the last such text (empty when none).
    const std::string& LastError() const { return lastError; }
    // The loudness measured so far: the input as routed, the output as delivered, and the
    // gain of loudness normalisation.
    JobLoudness Loudness() const;
    // The job's loudness was measured (else Loudness() holds no figures).
    bool LoudnessMeasured() const { return loudness.Measures(); }

  protected:
    using LastBlock = ProcessingChain::LastBlock;
    struct Behaviour {
        bool appliesResync = false;
        LastBlock lastBlock = LastBlock::kPadded;
    };
    struct InputRun {
        const float* frames = nullptr;  // count x 6 floats
        std::size_t count = 0;
    };
    enum class Pass { kOpening, kAnalysis, kOutput };

    ChainSource(JobHost& host, const JobSettings& settings, Behaviour behaviour);

    // Opens the input named by fileName and checks its format; false after Fail().
    virtual bool OpenInput() = 0;
    // Runs or starts the passes once the input is open; false after a message.
    virtual bool StartPasses() = 0;
    // Before a block is delivered: true once a whole block is queued or the input ended.
    virtual bool FillChain() = 0;
    // Where reading stands against the input's size, in any one unit; size 0 when unknown.
    virtual double InputPosition() const = 0;
    virtual double InputSize() const = 0;
    // Before the output pass, a source may skip the start of its input itself (by seeking
    // over whole frames), leaving the rest of a negative resync offset in `resyncMs`.
    virtual bool SkipAhead(int32_t& resyncMs);

    // What reading the input tells the host: the status line, warnings, a failure.
    struct Notice {
        enum class Kind { kStatus, kWarning, kFailure };
        Kind kind = Kind::kStatus;
        std::string text;
        std::string title;
    };

    // Shows a stop message box and keeps its text as the last error; false.
    bool Fail(const std::string& text, const std::string& title);
    // The input's format in the status line.
    void ShowStatus(const std::string& text);
    // What the input's reading overcame, told once at its end.
    void Warn(const std::string& text, const std::string& title);
    // A source reading ahead on a thread of its own keeps what that thread would tell the
    // host for the job's thread (true), which tells it in order (Tell).
    virtual bool HandOver(const Notice& notice);
    void Tell(const Notice& notice);
    // Where reading stands for the progress shown; InputPosition unless read ahead.
    virtual double ProgressPosition() const { return InputPosition(); }
    // A stop asked takes effect later, where the input's reading saw it.
    virtual bool StopDeferred() const { return false; }
    // Analysis pass: one run into the peak analysis, the levels shown when they changed.
    void Analyze(const InputRun& run);
    // The end of the analysis pass: the normalisation gains (by the peaks, or the one gain
    // that brings the measured loudness to its target).
    void EndAnalysisPass();
    // Loudness normalisation fell short of its target: the warning was reported.
    bool LoudnessWarned() const { return loudnessWarned; }
    // Prepares the output pass: a source's own skip ahead, then the resync offset.
    bool PrepareOutputPass();
    // Output pass: one run through the chain. False once the source has ended (a refused
    // resync).
    bool Process(const InputRun& run);
    // Output pass: one run into the chain, measured as routed input when no analysis pass
    // measured it.
    void Push(const InputRun& run);
    // The input ended: the frames the rate conversion held back join the queue.
    void EndOfInput();
    // The progress of the current pass, from InputPosition/InputSize.
    float CurrentPercent() const;
    float PassPercent(float share) const;
    float OutputPercent() const;
    // Nothing more is delivered: the input ended, failed or was stopped.
    bool Ended() const { return ended; }

    JobHost& host;
    // The job's rates, conversion and resync.
    const int inputRate;
    const int outputRate;
    const bool resample;
    const ResamplerKind resampler;
    const int32_t resyncMs;
    std::string fileName;
    bool normalizeEnabled = false;
    ProcessingChain chain;
    Pass pass = Pass::kOpening;
    bool inputDone = false;
    bool stopSeen = false;

  private:
    // Starts a pending resync offset; false (the source ended) after a message.
    bool ApplyResync();
    BlockRead Deliver(SampleBlock& block);
    // How the input ended, as the read that finds no more block tells it.
    BlockRead Ending() const;

    // Where this job's loudness is measured.
    LoudnessTaps::Points MeasuredPoints() const;
    // The routed input's true peaks in the peak display, when they rose: of the runs
    // measured so far, or (at the end of a pass) of every run.
    void ShowInputPeaks();
    void ShowLastInputPeaks();

    bool appliesResync;
    const LoudnessNormalization normalization;
    const std::string outputName;  // empty when the job writes nothing
    const bool measureLoudness;
    LoudnessTaps loudness;
    std::optional<LoudnessGain> loudnessGain;
    bool loudnessWarned = false;
    std::string lastError;
    bool ended = false;
};

}  // namespace tavrisk
