#include "mp2dec/StreamDecoder.h"

#include <bit>
#include <cstring>

#include "mp2dec/FrameScanner.h"
#include "platform/RiffChunk.h"
#include "platform/WavWriter.h"

namespace tavrisk::mp2dec {

StreamDecoder::StreamDecoder(bool compatiblePairOnly) : pairOnly(compatiblePairOnly) {}

bool StreamDecoder::Decode(std::istream& in, const std::string& outputPath, ProblemLog& log,
                           Summary& summary, const Progress& progress) {
    summary = Summary{};
    FrameScanner scanner(in);
    FrameDecoder decoder(pairOnly);
    WavWriter wav;
    pcm.resize(static_cast<std::size_t>(kFrameSamples * decoder.OutputChannels()));
    bytes.resize(pcm.size() * WavWriter::kBytesPerSample);
    while (scanner.Next(log)) {
        const FrameHeader& header = scanner.Header();
        const long number = scanner.FrameNumber();
        if (!wav.IsOpen()) {
            summary.sampleRate = header.SampleRate();
            if (!wav.Open(outputPath, decoder.OutputChannels(), summary.sampleRate,
                          WavWriter::kBitsPerSample)) {
                log.Error(0, "cannot create " + outputPath);
                summary.writeFailed = true;
                return false;
            }
        } else if (header.SampleRate() != summary.sampleRate) {
            log.Error(number, "sampling rate changes; frame skipped");
            continue;
        }
        const auto result = decoder.Decode(scanner.Data(), header, number, log, pcm.data());
        if (result == FrameDecoder::kRefused) {
            log.Error(number,
                      "decoding stopped: the frame uses multichannel features this "
                      "decoder does not support");
            summary.refused = true;
            break;
        }
        if (result == FrameDecoder::kMuted) ++summary.muted;
        ++summary.frames;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(bytes.data(), pcm.data(), bytes.size());
        } else {
            for (std::size_t i = 0; i < pcm.size(); ++i)
                PutLe16(bytes.data() + i * WavWriter::kBytesPerSample,
                        static_cast<uint16_t>(pcm[i]));
        }
        if (!wav.Write(bytes.data(), bytes.size())) {
            log.Error(number, "cannot write " + outputPath);
            summary.writeFailed = true;
            break;
        }
        if (progress) progress(scanner.BytesDone());
    }
    summary.stereoOnly = decoder.SawStereoOnlyFrame();
    if (summary.frames == 0 && !summary.refused && !summary.writeFailed)
        log.Error(0, "no frames found");
    if (wav.IsOpen() && !wav.Close()) {
        log.Error(0, "cannot write " + outputPath);
        summary.writeFailed = true;
    }
    return !summary.refused && !summary.writeFailed && summary.frames > 0;
}

}  // namespace tavrisk::mp2dec
