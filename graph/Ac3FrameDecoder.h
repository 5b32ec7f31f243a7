#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/LibavHandles.h"

namespace tavrisk {

// libavcodec's AC-3 or E-AC-3 decoder with its dynamic range compression off: frames in,
// planar float frames out.
class Ac3FrameDecoder {
  public:
    enum class Codec { kAc3, kEac3 };
    enum class Result { kFrame, kNeedMore, kDamaged };

    // The dynamic range compression scale every decoder is opened with: none.
    static constexpr double kDrcScale = 0.0;

    bool Open(Codec codec);
    void Close();
    bool IsOpen() const { return context != nullptr; }
    Codec OpenCodec() const { return codec; }
    // The scale the open decoder reports it applies (kDrcScale when closed).
    double DrcScale() const;

    // Hands over one frame; false when the decoder refuses it.
    bool Send(std::span<const uint8_t> frame);
    // Tells the decoder that no more frames come; Receive then gives what it still holds.
    void SendEnd();
    // The next decoded frame (kFrame: see Frame()), kNeedMore when there is none, kDamaged
    // when the decoder failed or gave a frame that is not planar float.
    Result Receive();
    const AVFrame& Frame() const { return *decoded; }
    // Forgets everything the decoder holds; it takes frames again after an end.
    void Flush();

  private:
    bool OpenContext(Codec wanted);

    AvContextPtr context;
    AvFramePtr decoded;
    AvPacketPtr packet;
    std::vector<uint8_t> packetBytes;  // the frame with the padding libavcodec reads past it
    Codec codec = Codec::kAc3;
};

}  // namespace tavrisk
