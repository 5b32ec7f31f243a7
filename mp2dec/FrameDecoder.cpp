// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/FrameDecoder.h"

#include "mp2dec/PcmOutput.h"

#include "mp2dec/ChannelConfigurations.h"

namespace tavrisk::mp2dec {

namespace {

void Clear(SubbandBlock& block) {
    for (auto& row : block) row.fill(0.0);
}

}  // namespace

FrameDecoder::FrameDecoder(bool compatiblePairOnly)
    : pairOnly(compatiblePairOnly),
      content(std::make_unique<FrameContent>()),
      own(std::make_unique<FrameSubbands>()) {}

void FrameDecoder::SynthesizeChannel(const SubbandBlock& block, SynthesisFilterbank& bank,
                                     double* out) {
    for (int i = 0; i < kSubbandSamples; ++i) bank.Run(block[i], out + i * kSubbands);
}

FrameDecoder::Result FrameDecoder::Decode(const uint8_t* frame, const FrameHeader& header,
                                          long frameNumber, ProblemLog& log, int16_t* output,
                                          std::span<const uint8_t> extensionFrame) {
    const Result result = Analyse(frame, header, frameNumber, log, *own, extensionFrame);
    Synthesize(*own, output);
    return result;
}

FrameDecoder::Result FrameDecoder::Analyse(const uint8_t* frame, const FrameHeader& header,
                                           long frameNumber, ProblemLog& log, FrameSubbands& out,
                                           std::span<const uint8_t> extensionFrame) {
    FrameContent& c = *content;
    parser.Parse(frame, header, !pairOnly, c, frameNumber, log, extensionFrame);

    Result result = kDecoded;
    auto& blocks = out.mains;
    const bool extensionUnusable = c.extension.present && !c.extensionValid;
    if (!c.baseValid) {
        for (auto& block : blocks) Clear(block);
        c.lfe.fill(0.0);
        result = kMuted;
    } else if (pairOnly || !c.extension.present || extensionUnusable) {
        blocks[kOutL] = c.positions[0];
        blocks[kOutR] = c.positions[c.compatibleChannels > 1 ? 1 : 0];
        if (!pairOnly) {
            if (extensionUnusable) {
                c.lfe.fill(0.0);
                result = kStereoFallback;
            } else {
                sawStereoOnly = true;
            }
            for (int ch : {kOutC, kOutLs, kOutRs}) Clear(blocks[ch]);
        }
    } else {
        DematrixFrame(c, blocks);
    }
    if (!pairOnly) out.lfe = c.lfe;
    return result;
}

void FrameDecoder::Synthesize(const FrameSubbands& frame, int16_t* output) {
    const auto& blocks = frame.mains;
    if (pairOnly) {
        SynthesizeChannel(blocks[kOutL], banks[0], pcm[0].data());
        SynthesizeChannel(blocks[kOutR], banks[1], pcm[1].data());
    } else {
        for (int ch = 0; ch < kMainChannels; ++ch)
            SynthesizeChannel(blocks[ch], banks[ch], pcm[ch].data());
        lfe.Run(frame.lfe, pcm[kOutLfe].data());
    }
    Interleave(output);
}

void FrameDecoder::Interleave(int16_t* output) const {
    const double* channel[kOutputChannels];
    for (int ch = 0; ch < kOutputChannels; ++ch) channel[ch] = pcm[ch].data();
    InterleavePcm(channel, OutputChannels(), kFrameSamples, output);
}

}  // namespace tavrisk::mp2dec
