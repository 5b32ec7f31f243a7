// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "graph/GraphOutcome.h"
#include "platform/LibavHandles.h"
#include "platform/PooledPacket.h"

namespace tavrisk {

// libavcodec's decoder of a film's sound (AC-3, E-AC-3, DTS or FLAC) with its dynamic range
// compression off and its error detection on: frames in, planar frames out. A frame the
// decoder refuses, or one it complained about while decoding, counts as damaged; the decoder
// then starts afresh, so that nothing of the damaged frame leaks into the next one.
class LibavFrameDecoder {
  public:
    enum class Codec { kAc3, kEac3, kDts, kFlac };
    enum class Result { kFrame, kNeedMore, kDamaged };

    // The dynamic range compression scale every decoder is opened with: none.
    static constexpr double kDrcScale = 0.0;

    // `setup`: the codec's own header, where it has one (FLAC's "fLaC" and metadata blocks).
    GraphOutcome Open(Codec codec, std::span<const uint8_t> setup = {});
    void Close();
    bool IsOpen() const { return context != nullptr; }
    Codec OpenCodec() const { return codec; }
    // The scale the open decoder reports it applies (kDrcScale when closed).
    double DrcScale() const;

    // Hands over one frame; false when the decoder refuses it (a damaged frame).
    bool Send(std::span<const uint8_t> frame);
    // Tells the decoder that no more frames come; Receive then gives what it still holds.
    void SendEnd();
    // The next decoded frame (kFrame: see Frame()), kNeedMore when there is none, kDamaged
    // when the decoder failed, complained, or gave a frame in a form we do not take.
    Result Receive();
    const AVFrame& Frame() const { return *decoded; }
    // The length in samples of the last damaged frame, when the decoder still gave it (0
    // when unknown).
    int DamagedSamples() const { return damagedSamples; }
    // Forgets everything the decoder holds; it takes frames again after an end.
    void Flush();

  private:
    GraphOutcome OpenContext(Codec wanted, std::span<const uint8_t> setup);
    Result Damaged(int samples);

    AvContextPtr context;
    AvFramePtr decoded;
    PooledPacket packet;
    Codec codec = Codec::kAc3;
    int sendErrors = 0;  // complaints while the last frame was handed over
    int damagedSamples = 0;
};

}  // namespace tavrisk
