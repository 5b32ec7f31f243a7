// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ContainerAudio.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "mp2dec/FrameScanner.h"
#include "platform/Libav.h"
#include "platform/LibraryLog.h"

namespace tavrisk {

namespace {

// libavformat's names of bare MPEG audio, read as files of frames.
bool IsBareAudio(const char* formatName) {
    return std::strcmp(formatName, "mp3") == 0;
}

bool IsMpegAudio(const AVCodecParameters& codec) {
    return codec.codec_type == AVMEDIA_TYPE_AUDIO &&
           (codec.codec_id == AV_CODEC_ID_MP2 || codec.codec_id == AV_CODEC_ID_MP1 ||
            codec.codec_id == AV_CODEC_ID_MP3);
}

double StartAfterContainer(const AVFormatContext& context, const AVStream& stream) {
    if (stream.start_time == AV_NOPTS_VALUE) return 0.0;
    const double start = static_cast<double>(stream.start_time) * av_q2d(stream.time_base);
    const double containerStart = context.start_time == AV_NOPTS_VALUE
                                      ? 0.0
                                      : static_cast<double>(context.start_time) / AV_TIME_BASE;
    return start > containerStart ? start - containerStart : 0.0;
}

// A Layer II frame at the first byte, which the frame scanner confirms by what follows it:
// bare audio, told without loading FFmpeg.
bool StartsWithFrame(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    mp2dec::FrameScanner scanner(in);
    mp2dec::ProblemLog skipped;
    return scanner.Next(skipped) &&
           scanner.BytesDone() == scanner.Size() + scanner.ExtensionData().size();
}

}  // namespace

ContainerAudio::ContainerAudio() : buffer(*this), stream(&buffer) {}

ContainerAudio::~ContainerAudio() {
    if (context == nullptr) return;  // nothing of FFmpeg's was made
    Libav().av_packet_free(&packet);
    Libav().avformat_close_input(&context);
}

std::unique_ptr<ContainerAudio> ContainerAudio::Open(const std::string& path, std::string& error) {
    error.clear();
    // A pipe is read once, by the caller: probing it would take its first frames.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || StartsWithFrame(path)) return nullptr;
    LibraryLog::CaptureLibav();
    if (LoadLibav(LibavUse::kContainers) == nullptr) {
        error = "cannot read " + path + ": " + LibavLoadProblem(LibavUse::kContainers);
        return nullptr;
    }
    std::unique_ptr<ContainerAudio> audio(new ContainerAudio());
    if (Libav().avformat_open_input(&audio->context, path.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    if (IsBareAudio(audio->context->iformat->name)) return nullptr;
    if (Libav().avformat_find_stream_info(audio->context, nullptr) < 0) {
        error = "cannot read the streams of " + path;
        return nullptr;
    }
    for (unsigned i = 0; i < audio->context->nb_streams; ++i) {
        const AVStream& s = *audio->context->streams[i];
        if (IsMpegAudio(*s.codecpar))
            audio->tracks.push_back({static_cast<int>(i), StartAfterContainer(*audio->context, s)});
    }
    if (audio->tracks.empty()) {
        error = path + " holds no MPEG audio stream";
        return nullptr;
    }
    audio->packet = Libav().av_packet_alloc();
    if (!audio->packet) {
        error = "out of memory reading " + path;
        return nullptr;
    }
    return audio;
}

bool ContainerAudio::Select(int index) {
    bool known = false;
    for (const Track& track : tracks) known = known || track.index == index;
    if (!known) return false;
    selected = index;
    return true;
}

uint64_t ContainerAudio::BytesRead() const {
    // avio_tell, an inline function of the header, calls avio_seek so: through the table.
    return context && context->pb
               ? static_cast<uint64_t>(Libav().avio_seek(context->pb, 0, SEEK_CUR))
               : 0;
}

bool ContainerAudio::NextPacket() {
    while (Libav().av_read_frame(context, packet) >= 0) {
        const bool ours = packet->stream_index == selected && packet->size > 0;
        if (ours) packetBytes.assign(packet->data, packet->data + packet->size);
        Libav().av_packet_unref(packet);
        if (ours) return true;
    }
    return false;
}

ContainerAudio::PacketBuffer::int_type ContainerAudio::PacketBuffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (!owner.NextPacket()) return traits_type::eof();
    char* begin = owner.packetBytes.data();
    setg(begin, begin, begin + owner.packetBytes.size());
    return traits_type::to_int_type(*gptr());
}

}  // namespace tavrisk
