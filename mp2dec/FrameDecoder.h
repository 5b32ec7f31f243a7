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

// Turns frames into 16-bit PCM: six channels L, C, R, LS, RS, LFE, or the compatible pair
// alone. A frame with a damaged compatible part comes out as silence (the filterbanks run
// on), so the timing of the following frames is kept; a frame whose extension is damaged or
// uses what we do not decode gives its compatible pair in L and R, the other channels silent.
class FrameDecoder {
  public:
    enum Result { kDecoded, kMuted, kStereoFallback };

    explicit FrameDecoder(bool compatiblePairOnly);

    int OutputChannels() const { return pairOnly ? kCompatibleChannels : kOutputChannels; }
    // Writes kFrameSamples interleaved frames of OutputChannels() values (also when muted).
    // `extensionFrame`: the extension frame that followed the frame, if any.
    Result Decode(const uint8_t* frame, const FrameHeader& header, long frameNumber,
                  ProblemLog& log, int16_t* output, std::span<const uint8_t> extensionFrame = {});
    // True once a frame without multichannel extension was decoded to six channels.
    bool SawStereoOnlyFrame() const { return sawStereoOnly; }
    // The multichannel header of the frame decoded last (not present without one).
    const ExtensionInfo& LastExtension() const { return content->extension; }

  private:
    void Synthesize(const SubbandBlock& block, SynthesisFilterbank& bank, double* out);
    void Interleave(int16_t* output) const;

    bool pairOnly;
    bool sawStereoOnly = false;
    FrameParser parser;
    LfeInterpolator lfe;
    // Large per-frame work areas, allocated once.
    std::unique_ptr<FrameContent> content;
    std::unique_ptr<std::array<SubbandBlock, kMainChannels>> mains;
    std::array<SynthesisFilterbank, kMainChannels> banks;
    std::array<std::array<double, kFrameSamples>, kOutputChannels> pcm{};
};

}  // namespace tavrisk::mp2dec
