// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVPacket;

namespace tavrisk {

// One MPEG audio stream of a container (MPEG program or transport stream, Matroska, MP4) read
// through libavformat: its packets' bytes one after the other, as a stream the MPEG audio
// scanner reads like a file.
class ContainerAudio {
  public:
    struct Track {
        int index = 0;              // the container's stream number
        double startSeconds = 0.0;  // after the container's start: the stream's place on its timeline
    };

    ~ContainerAudio();
    ContainerAudio(const ContainerAudio&) = delete;
    ContainerAudio& operator=(const ContainerAudio&) = delete;

    // Opens `path` when libavformat reads it as a container; null (with `error` empty) for a
    // file of bare MPEG audio frames, a pipe or anything libavformat does not read, which the
    // caller reads as it is.
    static std::unique_ptr<ContainerAudio> Open(const std::string& path, std::string& error);

    // The MPEG audio streams, in the container's order.
    const std::vector<Track>& Tracks() const { return tracks; }
    // Reads the track of stream `index`, before anything was read; false when there is no
    // such track.
    bool Select(int index);
    std::istream& Stream() { return stream; }
    // Bytes of the container read so far (for a progress line).
    uint64_t BytesRead() const;

  private:
    class PacketBuffer : public std::streambuf {
      public:
        explicit PacketBuffer(ContainerAudio& owner) : owner(owner) {}

      protected:
        int_type underflow() override;

      private:
        ContainerAudio& owner;
    };

    ContainerAudio();
    // The next packet of the selected stream into `packetBytes`; false at the end.
    bool NextPacket();

    AVFormatContext* context = nullptr;
    AVPacket* packet = nullptr;
    std::vector<Track> tracks;
    int selected = -1;
    std::vector<char> packetBytes;
    PacketBuffer buffer;
    std::istream stream;
};

}  // namespace tavrisk
