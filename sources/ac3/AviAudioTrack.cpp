// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/ac3/AviAudioTrack.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "platform/Libav.h"

namespace tavrisk {
namespace {
constexpr std::string_view kAviExtension = ".AVI";
constexpr std::size_t kMinAviNameLength = 5;
}  // namespace

void AviAudioTrack::FormatClose::operator()(AVFormatContext* context) const {
    Libav().avformat_close_input(&context);
}
void AviAudioTrack::PacketFree::operator()(AVPacket* p) const {
    Libav().av_packet_free(&p);
}

bool AviAudioTrack::IsAviInput(const std::string& name) {
    if (name.size() < kMinAviNameLength) return false;
    std::string upper = name.substr(name.size() - kAviExtension.size());
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper == kAviExtension;
}

bool AviAudioTrack::Open(const std::string& name) {
    Close();
    fileName = name;
    if (LoadLibav(LibavUse::kContainers) == nullptr) return false;
    AVFormatContext* context = Libav().avformat_alloc_context();
    if (context == nullptr) return false;
    // The stream's bytes as stored, not re-cut into frames.
    context->flags |= AVFMT_FLAG_NOPARSE;
    const AVInputFormat* avi = Libav().av_find_input_format("avi");
    if (Libav().avformat_open_input(&context, name.c_str(), avi, nullptr) < 0) return false;
    format.reset(context);
    packet.reset(Libav().av_packet_alloc());
    if (!packet) return false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* parameters = format->streams[i]->codecpar;
        if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
            streamIndex = static_cast<int>(i);
            carriesAc3 = parameters->codec_id == AV_CODEC_ID_AC3;
            break;
        }
    }
    if (streamIndex < 0) {
        Close();
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex) format->streams[i]->discard = AVDISCARD_ALL;
    }
    length = StreamBytes();
    return true;
}

void AviAudioTrack::Close() {
    format.reset();
    packet.reset();
    streamIndex = -1;
    carriesAc3 = false;
    packetOffset = 0;
    position = 0;
    length = 0;
}

bool AviAudioTrack::Rewind() {
    const std::string name = fileName;
    return Open(name);
}

AviAudioTrack::ReadResult AviAudioTrack::Read(uint8_t* buffer, std::size_t count) {
    if (!format) return ReadResult::kError;
    if (!carriesAc3) return ReadResult::kNotAc3;
    std::size_t filled = 0;
    while (filled < count) {
        const auto packetBytes = static_cast<std::size_t>(packet->size);
        if (packet->data != nullptr && packetOffset < packetBytes) {
            const std::size_t take = std::min(count - filled, packetBytes - packetOffset);
            std::memcpy(buffer + filled, packet->data + packetOffset, take);
            filled += take;
            packetOffset += take;
            continue;
        }
        ReadResult failure = ReadResult::kOk;
        if (!NextPacket(failure)) return failure;
    }
    position += static_cast<int64_t>(count);
    return ReadResult::kOk;
}

bool AviAudioTrack::NextPacket(ReadResult& failure) {
    for (;;) {
        Libav().av_packet_unref(packet.get());
        packetOffset = 0;
        const int result = Libav().av_read_frame(format.get(), packet.get());
        if (result == AVERROR_EOF) {
            failure = ReadResult::kEnd;
            return false;
        }
        if (result < 0) {
            failure = ReadResult::kError;
            return false;
        }
        if (packet->stream_index == streamIndex && packet->size > 0) return true;
    }
}

int64_t AviAudioTrack::StreamBytes() const {
    AVStream* stream = format->streams[streamIndex];
    int64_t total = 0;
    const int entries = Libav().avformat_index_get_entries_count(stream);
    for (int i = 0; i < entries; ++i) total += Libav().avformat_index_get_entry(stream, i)->size;
    if (total > 0) return total;
    // No index: the file size is the best bound there is.
    const int64_t fileSize = format->pb != nullptr ? Libav().avio_size(format->pb) : 0;
    return fileSize > 0 ? fileSize : 0;
}

}  // namespace tavrisk
