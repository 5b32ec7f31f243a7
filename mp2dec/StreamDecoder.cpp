#include "mp2dec/StreamDecoder.h"

#include "mp2dec/FrameScanner.h"

namespace tavrisk::mp2dec {

StreamDecoder::StreamDecoder(bool compatiblePairOnly) : pairOnly(compatiblePairOnly) {}

bool StreamDecoder::Decode(std::istream& in, SampleSink& sink, ProblemLog& log, Summary& summary,
                           const Progress& progress) {
    summary = Summary{};
    FrameScanner scanner(in);
    FrameDecoder decoder(pairOnly);
    pcm.resize(static_cast<std::size_t>(kFrameSamples * decoder.OutputChannels()));
    bool started = false;
    while (scanner.Next(log)) {
        const FrameHeader& header = scanner.Header();
        const long number = scanner.FrameNumber();
        if (!started) {
            started = true;
            summary.sampleRate = header.SampleRate();
            if (!sink.Start(decoder.OutputChannels(), summary.sampleRate)) {
                log.Error(0, "cannot create " + sink.Name());
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
        if (!sink.Write(pcm)) {
            log.Error(number, "cannot write " + sink.Name());
            summary.writeFailed = true;
            break;
        }
        if (progress) progress(scanner.BytesDone());
    }
    summary.stereoOnly = decoder.SawStereoOnlyFrame();
    if (summary.frames == 0 && !summary.refused && !summary.writeFailed)
        log.Error(0, "no frames found");
    return !summary.refused && !summary.writeFailed && summary.frames > 0;
}

}  // namespace tavrisk::mp2dec
