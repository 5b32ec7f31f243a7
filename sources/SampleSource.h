#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dsp/ChannelProcessor.h"
#include "sources/SampleBlock.h"

namespace tavrisk {

class TranscoderDialog;

// Base of every input: owns the channel-processing chain and the 48000 -> 44100 Hz
// resampler, and reaches the main window for progress, status, settings and the stop flag.
// Input frames are six floats, full scale +-1.0, in the order L, C, R, LS, RS, LFE.
class SampleSource {
  public:
    static constexpr int kChannels = 6;
    // 48000 / 44100 rounded to single precision.
    static constexpr float kResampleRatio = 1.0884354f;

    explicit SampleSource(TranscoderDialog& window);
    virtual ~SampleSource();
    SampleSource(const SampleSource&) = delete;
    SampleSource& operator=(const SampleSource&) = delete;

    virtual void Close() {}
    // Base: resets the resampler, reads the resampling switch, keeps the name; false.
    virtual bool Open(const std::string& name);
    // True: the block holds 1152 new frames. False: end of input, error or stop.
    virtual bool ReadBlock(SampleBlock& block);
    virtual void ResetResampler();
    // Reorders the input frame (L, C, R, LS, RS, LFE) to column order and runs the chain.
    // Results are in the order L, C, R, LS, RS, LFE.
    virtual void ProcessFrame(const float* frame, int* outL, int* outC, int* outR, int* outLS,
                              int* outRS, int* outLFE, bool analysisOnly);

    // One step of the normalisation analysis pass.
    void AnalyzeFrame(const float* frame);
    void ResetPeaks() { processor.ResetPeaks(); }
    void ComputeNormalizeGains() { processor.ComputeNormalizeGains(); }

    const std::string& FileName() const { return fileName; }
    const ChannelProcessor& Processor() const { return processor; }
    int ResyncSamples() const { return resyncSamples; }
    bool ResamplingNeeded() const { return resamplingNeeded; }

    // A source that fails to open or read says why through the main window's message
    // boxes; a later caller can also ask for the last error text.
    const std::string& LastError() const { return lastError; }

  protected:
    // Processes one input frame into the six results in block-row order L, R, C, LFE, LS, RS.
    void ProcessToRows(const float* frame, std::array<int32_t, kChannels>& rows);
    // Stores a column of six results (block-row order) at frame index i of the block.
    static void StoreColumn(SampleBlock& block, std::size_t i,
                            const std::array<int32_t, kChannels>& rows);
    // Resampler output for the current phase, block-row order.
    void InterpolateColumn(SampleBlock& block, std::size_t i) const;
    // Advances the resampler by one output frame: while the phase reaches 1, the current
    // frame becomes the previous one and `next(float* frame)` supplies the next input frame,
    // which is processed into the current one. False when `next` found no more input.
    template <typename NextFrame>
    bool StepResampler(NextFrame&& next) {
        phase += ratio;
        while (phase >= 1.0f) {
            prevFrame = curFrame;
            float frame[kChannels];
            if (!next(frame)) return false;
            ProcessToRows(frame, curFrame);
            phase -= 1.0f;
        }
        return true;
    }

    TranscoderDialog& window;
    std::string fileName;
    std::string lastError;
    int32_t resyncSamples = 0;
    bool resamplingNeeded = false;
    bool normalizeEnabled = false;
    ChannelProcessor processor;

    // Resampler state, block-row order.
    std::array<int32_t, kChannels> prevFrame{};
    std::array<int32_t, kChannels> curFrame{};
    float ratio = kResampleRatio;
    float phase = 1.0f;
};

}  // namespace tavrisk
