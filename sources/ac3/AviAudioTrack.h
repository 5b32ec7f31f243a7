// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVPacket;

namespace tavrisk {

// The raw bytes of the first audio stream of an AVI file, in stream order, read through
// libavformat without any parsing, and the stream's length in bytes for the progress.
class AviAudioTrack {
  public:
    enum class ReadResult { kOk, kEnd, kNotAc3, kError };

    // True when an upper-case copy of the name is at least 5 characters and ends in ".AVI".
    static bool IsAviInput(const std::string& name);

    // False when the file cannot be opened as AVI or has no audio stream.
    bool Open(const std::string& name);
    void Close();
    // Back to the first byte of the stream.
    bool Rewind();

    // Fills all `length` bytes of `buffer` from the stream position, packet after packet.
    // kEnd when the stream ends first; kNotAc3 when the stream does not carry AC-3.
    ReadResult Read(uint8_t* buffer, std::size_t length);

    int64_t Position() const { return position; }
    int64_t Length() const { return length; }
    bool IsOpen() const { return format != nullptr; }

  private:
    struct FormatClose {
        void operator()(AVFormatContext* context) const;
    };
    struct PacketFree {
        void operator()(AVPacket* packet) const;
    };

    bool NextPacket(ReadResult& failure);
    int64_t StreamBytes() const;

    std::string fileName;
    std::unique_ptr<AVFormatContext, FormatClose> format;
    std::unique_ptr<AVPacket, PacketFree> packet;
    int streamIndex = -1;
    bool carriesAc3 = false;
    std::size_t packetOffset = 0;  // bytes of the current packet already handed out
    int64_t position = 0;
    int64_t length = 0;
};

}  // namespace tavrisk
