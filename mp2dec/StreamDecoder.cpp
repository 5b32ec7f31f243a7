// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/StreamDecoder.h"

#include "mp2dec/ChannelConfigurations.h"
#include "mp2dec/FrameScanner.h"

namespace tavrisk::mp2dec {

StreamDecoder::StreamDecoder(bool compatiblePairOnly, Programme programme)
    : pairOnly(compatiblePairOnly), programme(programme) {}

OutputLayout StreamDecoder::LayoutOfFrame(const FrameHeader& header,
                                          const ExtensionInfo& extension) const {
    if (programme == Programme::kSecond && CarriesSecondProgramme(extension))
        return SecondProgrammeLayout();
    return LayoutOfStream(header, extension, pairOnly);
}

void StreamDecoder::NoteSecondProgramme(const ExtensionInfo& extension, long number,
                                        ProblemLog& log) {
    if (secondProgrammeNoted || programme == Programme::kSecond ||
        !CarriesSecondProgramme(extension))
        return;
    log.Warning(number, "the stream carries a second stereo programme that is not in the output");
    secondProgrammeNoted = true;
}

std::span<const int16_t> StreamDecoder::Output(const OutputLayout& layout, int decoded) {
    // The pair alone is decoded as it is written.
    if (layout.count == decoded || decoded == kCompatibleChannels) return pcm;
    const auto count = static_cast<std::size_t>(layout.count);
    picked.resize(static_cast<std::size_t>(kFrameSamples) * count);
    for (std::size_t s = 0; s < static_cast<std::size_t>(kFrameSamples); ++s) {
        const int16_t* in = pcm.data() + s * static_cast<std::size_t>(decoded);
        for (std::size_t c = 0; c < count; ++c) picked[s * count + c] = in[layout.decoded[c]];
    }
    return picked;
}

void StreamDecoder::NoteLayoutChange(const OutputLayout& output, const OutputLayout& frame,
                                     long number, ProblemLog& log) {
    if (frame == previous) return;
    previous = frame;
    if (frame == output) return;
    const int missing = output.Missing(frame);
    const std::string what =
        "the channel configuration changes; the output keeps the first "
        "frame's " +
        std::to_string(output.count) + " channel(s)";
    if (missing == 0)
        log.Warning(number, what);
    else
        log.Error(number, what + " and leaves out " + std::to_string(missing) + " of this frame's");
}

bool StreamDecoder::Decode(std::istream& in, SampleSink& sink, ProblemLog& log, Summary& summary,
                           const Progress& progress) {
    summary = Summary{};
    sawExtension = secondProgrammeNoted = false;
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
            if (programme == Programme::kSecond &&
                !CarriesSecondProgramme(decoder.LastExtension())) {
                log.Error(number, "the stream carries no second stereo programme");
                return false;
            }
            summary.layout = LayoutOfFrame(header, decoder.LastExtension());
            summary.channels = summary.layout.count;
            previous = summary.layout;
            if (!sink.Start(summary.layout, summary.sampleRate)) {
                log.Error(0, "cannot create " + sink.Name());
                summary.writeFailed = true;
                return false;
            }
        }
        if (result == FrameDecoder::kMuted) ++summary.muted;
        if (result == FrameDecoder::kStereoFallback) ++summary.stereoFallbacks;
        sawExtension = sawExtension || decoder.LastExtension().present;
        if (result == FrameDecoder::kDecoded) {
            NoteLayoutChange(summary.layout, LayoutOfFrame(header, decoder.LastExtension()), number,
                             log);
            NoteSecondProgramme(decoder.LastExtension(), number, log);
        }
        ++summary.frames;
        if (!sink.Write(Output(summary.layout, decoder.OutputChannels()))) {
            log.Error(number, "cannot write " + sink.Name());
            summary.writeFailed = true;
            break;
        }
        if (progress) progress(scanner.BytesDone());
    }
    // Only a stream without any extension is told that it has none.
    summary.stereoOnly = !pairOnly && programme == Programme::kMain &&
                         summary.channels == kCompatibleChannels && !sawExtension;
    if (summary.frames == 0 && !summary.writeFailed) log.Error(0, "no frames found");
    return !summary.writeFailed && summary.frames > 0;
}

}  // namespace tavrisk::mp2dec
