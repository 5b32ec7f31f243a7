// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "mp2dec/Dematrixer.h"
#include "mp2dec/FrameParser.h"
#include "mp2dec/LfeInterpolator.h"
#include "mp2dec/SynthesisFilterbank.h"

namespace tavrisk::mp2dec {

// One frame's subband samples as they go to the filterbanks: the main channels in output
// order, and the LFE samples.
struct FrameSubbands {
    std::array<SubbandBlock, kMainChannels> mains{};
    std::array<double, kLfeSamples> lfe{};
};

// Turns frames into 16-bit PCM: six channels L, C, R, LS, RS, LFE, or the compatible pair
// alone. A frame with a damaged compatible part comes out as silence (the filterbanks run
// on), so the timing of the following frames is kept; a frame whose extension is damaged or
// uses what we do not decode gives its compatible pair in L and R, the other channels silent.
// Decoding is two steps, which may run on different threads: Analyse reads a frame into its
// subband samples, and Synthesize, frame after frame in order, turns those into samples.
class FrameDecoder {
  public:
    enum Result { kDecoded, kMuted, kStereoFallback };

    explicit FrameDecoder(bool compatiblePairOnly);

    int OutputChannels() const { return pairOnly ? kCompatibleChannels : kOutputChannels; }
    // Both steps: writes kFrameSamples interleaved frames of OutputChannels() values (also
    // when muted). `extensionFrame`: the extension frame that followed the frame, if any.
    Result Decode(const uint8_t* frame, const FrameHeader& header, long frameNumber,
                  ProblemLog& log, int16_t* output, std::span<const uint8_t> extensionFrame = {});
    // The first step: the frame's subband samples, into `out`.
    Result Analyse(const uint8_t* frame, const FrameHeader& header, long frameNumber,
                   ProblemLog& log, FrameSubbands& out,
                   std::span<const uint8_t> extensionFrame = {});
    // The second step, for the frames analysed, in their order.
    void Synthesize(const FrameSubbands& frame, int16_t* output);
    // True once a frame without multichannel extension was decoded to six channels.
    bool SawStereoOnlyFrame() const { return sawStereoOnly; }
    // The multichannel header of the frame analysed last (not present without one).
    const ExtensionInfo& LastExtension() const { return content->extension; }

  private:
    void SynthesizeChannel(const SubbandBlock& block, SynthesisFilterbank& bank, double* out);
    void Interleave(int16_t* output) const;

    bool pairOnly;
    bool sawStereoOnly = false;
    FrameParser parser;
    LfeInterpolator lfe;
    // Large per-frame work areas, allocated once.
    std::unique_ptr<FrameContent> content;
    std::unique_ptr<FrameSubbands> own;  // Decode's frame
    std::array<SynthesisFilterbank, kMainChannels> banks;
    std::array<std::array<double, kFrameSamples>, kOutputChannels> pcm{};
};

}  // namespace tavrisk::mp2dec
