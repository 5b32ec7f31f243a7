// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "sources/ac3/Ac3AudioDecoder.h"
#include "sources/ac3/Ac3FrameReader.h"
#include "sources/ac3/Ac3Header.h"
#include "sources/ac3/Ac3Library.h"

namespace tavrisk::ac3 {

// The one decoder state behind the ac3_* functions: the frame reader, the stream check
// through the stream-info callback (on the first frame; later frames of another layout or
// rate are decoded as they come), the audio decoder and the frame count.
class Ac3LibraryState {
  public:
    bool Start() { return audio.Open(); }
    int32_t Register(const Ac3Settings& newSettings);
    int32_t Channels() const { return Ac3AudioDecoder::kChannels; }
    int32_t ReadFrame(uint8_t* frameBuffer, Ac3ReadCallback read);
    int32_t DecodeBsi(const uint8_t* frameBuffer, uint8_t* record) const;
    int32_t Decode(const uint8_t* frameBuffer, float* decodeBuffer);
    void GetInfo(Ac3FrameInfo& info) const;

  private:
    // The first frame is shown to the stream-info callback, which may refuse the stream.
    bool Accepts(const Ac3Header& header);
    void WarnSkipped(std::size_t bytes) const;
    // The input ended or failed: the next frame read starts a new stream.
    void EndStream();

    std::optional<Ac3Settings> settings;
    Ac3FrameReader reader;
    Ac3AudioDecoder audio;
    bool accepted = false;
    int32_t frameIndex = -1;  // of the last frame read
    int sampleRate = 0;
};

}  // namespace tavrisk::ac3
