// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/StreamDecoder.h"

#include "mp2dec/FrameScanner.h"

namespace tavrisk::mp2dec {

StreamDecoder::StreamDecoder(bool compatiblePairOnly) : pairOnly(compatiblePairOnly) {}

std::span<const int16_t> StreamDecoder::Output(int channels, int decoded) {
    if (channels == decoded) return pcm;
    // The pair of six decoded channels (L, C, R, ...): L and R.
    pair.resize(static_cast<std::size_t>(kFrameSamples * kCompatibleChannels));
    for (std::size_t s = 0; s < static_cast<std::size_t>(kFrameSamples); ++s) {
        pair[2 * s] = pcm[s * static_cast<std::size_t>(decoded) + kOutL];
        pair[2 * s + 1] = pcm[s * static_cast<std::size_t>(decoded) + kOutR];
    }
    return pair;
}

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
        if (started && header.SampleRate() != summary.sampleRate) {
            log.Error(number, "sampling rate changes; frame skipped");
            continue;
        }
        const auto result = decoder.Decode(scanner.Data(), header, number, log, pcm.data(),
                                           scanner.ExtensionData());
        if (!started) {
            // The first frame decides: a stream without the extension is its stereo pair.
            started = true;
            summary.sampleRate = header.SampleRate();
            summary.channels = decoder.SawStereoOnlyFrame() ? kCompatibleChannels
                                                            : decoder.OutputChannels();
            if (!sink.Start(summary.channels, summary.sampleRate)) {
                log.Error(0, "cannot create " + sink.Name());
                summary.writeFailed = true;
                return false;
            }
        }
        if (result == FrameDecoder::kMuted) ++summary.muted;
        if (result == FrameDecoder::kStereoFallback) ++summary.stereoFallbacks;
        ++summary.frames;
        if (!sink.Write(Output(summary.channels, decoder.OutputChannels()))) {
            log.Error(number, "cannot write " + sink.Name());
            summary.writeFailed = true;
            break;
        }
        if (progress) progress(scanner.BytesDone());
    }
    // A stream that has the extension in some frames keeps its six channels.
    summary.stereoOnly = !pairOnly && summary.channels == kCompatibleChannels;
    if (summary.frames == 0 && !summary.writeFailed) log.Error(0, "no frames found");
    return !summary.writeFailed && summary.frames > 0;
}

}  // namespace tavrisk::mp2dec
